#include "platform/sdl/SdlAudio.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace platform {

namespace {

constexpr int kRate = 44100;
// About 23 ms a buffer: the sound follows the picture closely enough.
constexpr int kBufferFrames = 1024;
constexpr Uint32 kPollMs = 5;
// Beyond the sound's own length: if the device stalls, the game must still go on.
constexpr Uint64 kStallMarginMs = 2000;

// Probing ALSA without a card prints a page of library errors; the dummy fallback
// makes them meaningless, so they are muted while we look for a device.
class QuietAlsa {
public:
    QuietAlsa()
    {
        lib_ = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
        if (lib_ != nullptr)
            setHandler_ = reinterpret_cast<SetHandler>(dlsym(lib_, "snd_lib_error_set_handler"));
        if (setHandler_ != nullptr)
            setHandler_(&ignore);
    }
    ~QuietAlsa()
    {
        if (setHandler_ != nullptr)
            setHandler_(nullptr);  // back to ALSA's own reporting
        if (lib_ != nullptr)
            dlclose(lib_);
    }
    QuietAlsa(const QuietAlsa&) = delete;
    QuietAlsa& operator=(const QuietAlsa&) = delete;

private:
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    static void ignore(const char*, int, const char*, int, const char*, ...) {}

    void* lib_ = nullptr;
    SetHandler setHandler_ = nullptr;
};

// Opens the audio subsystem and the mixer with the given driver (nullptr: SDL's
// own choice). Leaves nothing behind on failure.
bool openWith(const char* driver)
{
    if (driver != nullptr)
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, driver, SDL_HINT_OVERRIDE);
    bool ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (ok && Mix_OpenAudio(kRate, MIX_DEFAULT_FORMAT, MIX_DEFAULT_CHANNELS, kBufferFrames) != 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        ok = false;
    }
    if (driver != nullptr)
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);  // only this attempt was forced
    if (ok)
        Mix_AllocateChannels(1);
    return ok;
}

// Bytes of one sample frame on the open device, or 0 if unknown.
int frameBytes(int* rate)
{
    int freq = 0;
    int channels = 0;
    Uint16 format = 0;
    if (Mix_QuerySpec(&freq, &format, &channels) == 0 || freq <= 0 || channels <= 0)
        return 0;
    *rate = freq;
    return channels * static_cast<int>(SDL_AUDIO_BITSIZE(format) / 8);
}

// What the chunk lasts on the open device.
Uint64 lengthMs(const Mix_Chunk& chunk)
{
    int rate = 0;
    const int frame = frameBytes(&rate);
    if (frame == 0)
        return 0;
    const Uint64 frames = chunk.alen / static_cast<Uint32>(frame);
    return frames * 1000 / static_cast<Uint64>(rate);
}

}  // namespace

SdlAudio::SdlAudio() = default;

SdlAudio::~SdlAudio()
{
    if (!open_)
        return;
    Mix_HaltChannel(0);
    if (current_ != nullptr)
        Mix_FreeChunk(current_);
    current_ = nullptr;
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool SdlAudio::ensureOpen()
{
    if (triedOpen_)
        return open_;
    triedOpen_ = true;
    // The window owns Ctrl+C and SIGTERM; SDL must not turn them into events nobody reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    {
        QuietAlsa quiet;
        open_ = openWith(nullptr);
    }
    if (!open_) {
        const std::string why = SDL_GetError();
        open_ = openWith("dummy");
        std::fprintf(stderr, "zenkora: no audio device (%s); %s\n", why.c_str(),
                     open_ ? "sounds keep their time but stay silent" : "playing without sound");
    }
    return open_;
}

void SdlAudio::halt()
{
    Mix_HaltChannel(0);
    // Only once the channel has let go of it.
    if (current_ != nullptr)
        Mix_FreeChunk(current_);
    current_ = nullptr;
}

Mix_Chunk* SdlAudio::load(const std::string& fileName)
{
    if (!ensureOpen())
        return nullptr;
    halt();
    // A FIFO or a folder under a sound's name must not hang or confuse the loader.
    std::error_code ec;
    if (fileName.empty() || !std::filesystem::is_regular_file(fileName, ec))
        return nullptr;
    Mix_Chunk* chunk = Mix_LoadWAV(fileName.c_str());
    if (chunk == nullptr)
        return nullptr;
    int rate = 0;
    const int frame = frameBytes(&rate);
    if (frame == 0 || chunk->alen < static_cast<Uint32>(frame)) {
        Mix_FreeChunk(chunk);  // nothing to hear
        return nullptr;
    }
    current_ = chunk;
    return chunk;
}

void SdlAudio::startLoop(const std::string& fileName)
{
    Mix_Chunk* chunk = load(fileName);
    if (chunk != nullptr)
        Mix_PlayChannel(0, chunk, -1);
}

void SdlAudio::playToEnd(const std::string& fileName)
{
    Mix_Chunk* chunk = load(fileName);
    if (chunk == nullptr)
        return;
    const Uint64 deadline = SDL_GetTicks64() + lengthMs(*chunk) + kStallMarginMs;
    if (Mix_PlayChannel(0, chunk, 0) < 0)
        return;
    // Deliberately no event processing: the whole game holds still until the end.
    while (Mix_Playing(0) != 0) {
        if (SDL_GetTicks64() >= deadline) {
            Mix_HaltChannel(0);
            break;
        }
        SDL_Delay(kPollMs);
    }
}

void SdlAudio::stop()
{
    if (ensureOpen())
        halt();
}

std::string SdlAudio::driverName() const
{
    if (!open_)
        return {};
    const char* name = SDL_GetCurrentAudioDriver();
    return name != nullptr ? name : "";
}

}  // namespace platform
