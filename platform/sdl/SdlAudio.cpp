#include "platform/sdl/SdlAudio.h"

#include "platform/LoadedSymbols.h"
#include "platform/pulse/PulseOutput.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace platform {

namespace {

// The game's sounds are all 22.05 kHz mono. A device opened the same way takes them
// as they are: no conversion when a file is loaded (a long loop used to cost tens of
// milliseconds and a 13 MB buffer) and a quarter of the mixing.
constexpr int kRate = 22050;
constexpr int kChannels = 1;
// A real device is fed in pieces of about 46 ms. Every piece wakes the sound thread
// several times to talk to the sound server, so the CPU the sound costs halves with
// each doubling; beyond this a stopped loop rings on too long after its stop.
constexpr int kDeviceFrames = 1024;
// The dummy driver only keeps time, and keeps it best in short pieces.
constexpr int kDummyFrames = 512;
constexpr Uint32 kPollMs = 5;
// Beyond the sound's own length: if the device stalls, the game must still go on.
constexpr Uint64 kStallMarginMs = 2000;

// SDL and SDL_mixer, loaded when sound is first wanted.
struct SdlApi {
    decltype(&::SDL_SetHint) SetHint = nullptr;
    decltype(&::SDL_SetHintWithPriority) SetHintWithPriority = nullptr;
    decltype(&::SDL_ResetHint) ResetHint = nullptr;
    decltype(&::SDL_InitSubSystem) InitSubSystem = nullptr;
    decltype(&::SDL_QuitSubSystem) QuitSubSystem = nullptr;
    decltype(&::SDL_GetError) GetError = nullptr;
    decltype(&::SDL_GetCurrentAudioDriver) GetCurrentAudioDriver = nullptr;
    decltype(&::SDL_GetTicks64) GetTicks64 = nullptr;
    decltype(&::SDL_Delay) Delay = nullptr;
    decltype(&::Mix_OpenAudio) OpenAudio = nullptr;
    decltype(&::Mix_CloseAudio) CloseAudio = nullptr;
    decltype(&::Mix_AllocateChannels) AllocateChannels = nullptr;
    decltype(&::Mix_QuerySpec) QuerySpec = nullptr;
    decltype(&::Mix_LoadWAV) LoadWAV = nullptr;
    decltype(&::Mix_FreeChunk) FreeChunk = nullptr;
    decltype(&::Mix_PlayChannel) PlayChannel = nullptr;
    decltype(&::Mix_HaltChannel) HaltChannel = nullptr;
    decltype(&::Mix_Playing) Playing = nullptr;
};

// Null when the libraries are missing; then there is no sound, not even silence
// that keeps time. The libraries stay loaded for the life of the process.
const SdlApi* sdl()
{
    static const SdlApi* const api = []() -> const SdlApi* {
        void* core = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
        void* mixer = core ? dlopen("libSDL2_mixer-2.0.so.0", RTLD_NOW | RTLD_LOCAL) : nullptr;
        if (!mixer) {
            std::fprintf(stderr, "zenkora: cannot load SDL2_mixer (%s); the game stays silent\n", dlerror());
            return nullptr;
        }
        static SdlApi a;
        const bool ok = resolve(core, "SDL_SetHint", a.SetHint) &&
                        resolve(core, "SDL_SetHintWithPriority", a.SetHintWithPriority) &&
                        resolve(core, "SDL_ResetHint", a.ResetHint) &&
                        resolve(core, "SDL_InitSubSystem", a.InitSubSystem) &&
                        resolve(core, "SDL_QuitSubSystem", a.QuitSubSystem) &&
                        resolve(core, "SDL_GetError", a.GetError) &&
                        resolve(core, "SDL_GetCurrentAudioDriver", a.GetCurrentAudioDriver) &&
                        resolve(core, "SDL_GetTicks64", a.GetTicks64) && resolve(core, "SDL_Delay", a.Delay) &&
                        resolve(mixer, "Mix_OpenAudio", a.OpenAudio) &&
                        resolve(mixer, "Mix_CloseAudio", a.CloseAudio) &&
                        resolve(mixer, "Mix_AllocateChannels", a.AllocateChannels) &&
                        resolve(mixer, "Mix_QuerySpec", a.QuerySpec) && resolve(mixer, "Mix_LoadWAV", a.LoadWAV) &&
                        resolve(mixer, "Mix_FreeChunk", a.FreeChunk) &&
                        resolve(mixer, "Mix_PlayChannel", a.PlayChannel) &&
                        resolve(mixer, "Mix_HaltChannel", a.HaltChannel) && resolve(mixer, "Mix_Playing", a.Playing);
        if (!ok) {
            std::fprintf(stderr, "zenkora: SDL2_mixer is too old; the game stays silent\n");
            return nullptr;
        }
        return &a;
    }();
    return api;
}

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
bool openWith(const SdlApi& s, const char* driver)
{
    if (driver != nullptr)
        s.SetHintWithPriority(SDL_HINT_AUDIODRIVER, driver, SDL_HINT_OVERRIDE);
    bool ok = s.InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (ok) {
        const char* name = s.GetCurrentAudioDriver();
        const bool dummy = name != nullptr && std::strcmp(name, "dummy") == 0;
        if (s.OpenAudio(kRate, AUDIO_S16SYS, kChannels, dummy ? kDummyFrames : kDeviceFrames) != 0) {
            s.QuitSubSystem(SDL_INIT_AUDIO);
            ok = false;
        }
    }
    if (driver != nullptr)
        s.ResetHint(SDL_HINT_AUDIODRIVER);  // only this attempt was forced
    if (ok)
        s.AllocateChannels(1);
    return ok;
}

// The sound server is talked to directly unless SDL is asked for another driver.
bool serverWanted()
{
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    return driver == nullptr || *driver == '\0' || std::strcmp(driver, "pulseaudio") == 0 ||
           std::strcmp(driver, "pulse") == 0;
}

// Bytes of one sample frame on the open device, or 0 if unknown.
int frameBytes(const SdlApi& s, int* rate)
{
    int freq = 0;
    int channels = 0;
    Uint16 format = 0;
    if (s.QuerySpec(&freq, &format, &channels) == 0 || freq <= 0 || channels <= 0)
        return 0;
    *rate = freq;
    return channels * static_cast<int>(SDL_AUDIO_BITSIZE(format) / 8);
}

// What the chunk lasts on the open device.
Uint64 lengthMs(const SdlApi& s, const Mix_Chunk& chunk)
{
    int rate = 0;
    const int frame = frameBytes(s, &rate);
    if (frame == 0)
        return 0;
    const Uint64 frames = chunk.alen / static_cast<Uint32>(frame);
    return frames * 1000 / static_cast<Uint64>(rate);
}

}  // namespace

SdlAudio::SdlAudio() = default;

SdlAudio::~SdlAudio()
{
    waitForOpener();
    if (!open_ || pulse_)
        return;
    const SdlApi& s = *sdl();
    s.HaltChannel(0);
    if (current_ != nullptr)
        s.FreeChunk(current_);
    current_ = nullptr;
    s.CloseAudio();
    s.QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlAudio::holdUntilOpened()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!opener_.joinable() && !triedOpen_)
        opening_ = true;
}

void SdlAudio::openInBackground()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (opener_.joinable() || triedOpen_)
        return;
    try {
        opener_ = std::thread([this] {
            ensureOpen();
            // Holding the lock: a call that comes meanwhile waits, then finds it playing.
            std::lock_guard<std::mutex> done(mutex_);
            if (pendingLoop_)
                startLoopNow(*pendingLoop_);
            pendingLoop_.reset();
            opening_ = false;
        });
        opening_ = true;
    } catch (const std::system_error&) {
        // No thread to spare: open here, as the first call always could.
        opening_ = false;
        if (pendingLoop_)
            startLoopNow(*pendingLoop_);
        pendingLoop_.reset();
    }
}

bool SdlAudio::deferWhileOpening(const std::optional<std::string>& loop)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (opening_) {
            pendingLoop_ = loop;
            return true;
        }
    }
    waitForOpener();
    return false;
}

void SdlAudio::waitForOpener() const
{
    if (opener_.joinable())
        opener_.join();
}

bool SdlAudio::ensureOpen()
{
    if (triedOpen_)
        return open_;
    triedOpen_ = true;
    if (serverWanted()) {
        pulse_ = PulseOutput::connect("Zenkora");
        if (pulse_) {
            open_ = true;
            return true;
        }
    }
    const SdlApi* s = sdl();
    if (s == nullptr)
        return false;
    // The window owns Ctrl+C and SIGTERM; SDL must not turn them into events nobody reads.
    s->SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    {
        QuietAlsa quiet;
        open_ = openWith(*s, nullptr);
    }
    if (!open_) {
        std::fprintf(stderr, "zenkora: no audio device (%s); sounds keep their time but stay silent\n",
                     s->GetError());
        open_ = openWith(*s, "dummy");
    }
    return open_;
}

void SdlAudio::halt()
{
    const SdlApi& s = *sdl();
    s.HaltChannel(0);
    // Only once the channel has let go of it.
    if (current_ != nullptr)
        s.FreeChunk(current_);
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
    const SdlApi& s = *sdl();
    Mix_Chunk* chunk = s.LoadWAV(fileName.c_str());
    if (chunk == nullptr)
        return nullptr;
    int rate = 0;
    const int frame = frameBytes(s, &rate);
    if (frame == 0 || chunk->alen < static_cast<Uint32>(frame)) {
        s.FreeChunk(chunk);  // nothing to hear
        return nullptr;
    }
    current_ = chunk;
    return chunk;
}

void SdlAudio::startLoopNow(const std::string& fileName)
{
    if (ensureOpen() && pulse_) {
        pulse_->startLoop(fileName);
        return;
    }
    Mix_Chunk* chunk = load(fileName);
    if (chunk != nullptr)
        sdl()->PlayChannel(0, chunk, -1);
}

void SdlAudio::startLoop(const std::string& fileName)
{
    if (!deferWhileOpening(fileName))
        startLoopNow(fileName);
}

void SdlAudio::playToEnd(const std::string& fileName)
{
    {
        // A loop still waiting for the device is replaced by this sound, which is
        // waited for: on the opener if it has started, else opened here and now.
        std::lock_guard<std::mutex> lock(mutex_);
        pendingLoop_.reset();
        if (!opener_.joinable())
            opening_ = false;
    }
    waitForOpener();
    if (ensureOpen() && pulse_) {
        pulse_->playToEnd(fileName);
        return;
    }
    Mix_Chunk* chunk = load(fileName);
    if (chunk == nullptr)
        return;
    const SdlApi& s = *sdl();
    const Uint64 started = s.GetTicks64();
    const Uint64 length = lengthMs(s, *chunk);
    const Uint64 deadline = started + length + kStallMarginMs;
    if (s.PlayChannel(0, chunk, 0) < 0)
        return;
    // Deliberately no event processing: the whole game holds still until the end.
    // The mixer can finish a buffer ahead of the speaker, so the sound's own length
    // is the least the game waits.
    while (s.Playing(0) != 0 || s.GetTicks64() < started + length) {
        if (s.GetTicks64() >= deadline) {
            s.HaltChannel(0);
            break;
        }
        s.Delay(kPollMs);
    }
}

void SdlAudio::stop()
{
    if (deferWhileOpening(std::nullopt))
        return;
    if (!ensureOpen())
        return;
    if (pulse_)
        pulse_->stop();
    else
        halt();
}

std::string SdlAudio::driverName() const
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (opening_ && !opener_.joinable())
            return {};  // held, not yet opening
    }
    waitForOpener();
    if (!open_)
        return {};
    if (pulse_)
        return "pulseaudio";
    const char* name = sdl()->GetCurrentAudioDriver();
    return name != nullptr ? name : "";
}

}  // namespace platform
