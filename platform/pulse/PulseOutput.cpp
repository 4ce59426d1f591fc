#include "platform/pulse/PulseOutput.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pulse/pulseaudio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/LoadedSymbols.h"
#include "platform/WavLayout.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// What the server keeps queued, and how much it asks for at a time. The server
// gives the device (kQueuedUs - 2 * kRequestUs) / 2 of it, 10 ms: a sound is heard
// that soon after it starts. Asking in large pieces keeps the feeding thread to
// under thirty wake-ups a second (a null sink: 50 ms pieces, fifty; 20 ms, ninety).
constexpr std::uint64_t kQueuedUs = 160000;
constexpr std::uint64_t kRequestUs = 70000;
// Short sounds are read whole; longer ones are read from the file as they play.
constexpr std::uint64_t kReadWholeBytes = 64 * 1024;
// Beyond the sound's own length: if the server stalls, the game must still go on.
constexpr auto kStallMargin = std::chrono::seconds(2);

struct PulseApi {
    decltype(&::pa_threaded_mainloop_new) threaded_mainloop_new = nullptr;
    decltype(&::pa_threaded_mainloop_free) threaded_mainloop_free = nullptr;
    decltype(&::pa_threaded_mainloop_start) threaded_mainloop_start = nullptr;
    decltype(&::pa_threaded_mainloop_stop) threaded_mainloop_stop = nullptr;
    decltype(&::pa_threaded_mainloop_lock) threaded_mainloop_lock = nullptr;
    decltype(&::pa_threaded_mainloop_unlock) threaded_mainloop_unlock = nullptr;
    decltype(&::pa_threaded_mainloop_wait) threaded_mainloop_wait = nullptr;
    decltype(&::pa_threaded_mainloop_signal) threaded_mainloop_signal = nullptr;
    decltype(&::pa_threaded_mainloop_get_api) threaded_mainloop_get_api = nullptr;
    decltype(&::pa_context_new) context_new = nullptr;
    decltype(&::pa_context_unref) context_unref = nullptr;
    decltype(&::pa_context_connect) context_connect = nullptr;
    decltype(&::pa_context_disconnect) context_disconnect = nullptr;
    decltype(&::pa_context_get_state) context_get_state = nullptr;
    decltype(&::pa_context_set_state_callback) context_set_state_callback = nullptr;
    decltype(&::pa_stream_new) stream_new = nullptr;
    decltype(&::pa_stream_unref) stream_unref = nullptr;
    decltype(&::pa_stream_connect_playback) stream_connect_playback = nullptr;
    decltype(&::pa_stream_disconnect) stream_disconnect = nullptr;
    decltype(&::pa_stream_get_state) stream_get_state = nullptr;
    decltype(&::pa_stream_set_state_callback) stream_set_state_callback = nullptr;
    decltype(&::pa_stream_set_write_callback) stream_set_write_callback = nullptr;
    decltype(&::pa_stream_begin_write) stream_begin_write = nullptr;
    decltype(&::pa_stream_cancel_write) stream_cancel_write = nullptr;
    decltype(&::pa_stream_write) stream_write = nullptr;
    decltype(&::pa_stream_drain) stream_drain = nullptr;
    decltype(&::pa_operation_unref) operation_unref = nullptr;
    decltype(&::pa_operation_cancel) operation_cancel = nullptr;
    decltype(&::pa_operation_get_state) operation_get_state = nullptr;
};

// Null when libpulse is missing. It stays loaded for the life of the process.
const PulseApi* pulse()
{
    static const PulseApi* const api = []() -> const PulseApi* {
        void* lib = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
        if (lib == nullptr)
            return nullptr;
        static PulseApi a;
        const bool ok =
            resolve(lib, "pa_threaded_mainloop_new", a.threaded_mainloop_new) &&
            resolve(lib, "pa_threaded_mainloop_free", a.threaded_mainloop_free) &&
            resolve(lib, "pa_threaded_mainloop_start", a.threaded_mainloop_start) &&
            resolve(lib, "pa_threaded_mainloop_stop", a.threaded_mainloop_stop) &&
            resolve(lib, "pa_threaded_mainloop_lock", a.threaded_mainloop_lock) &&
            resolve(lib, "pa_threaded_mainloop_unlock", a.threaded_mainloop_unlock) &&
            resolve(lib, "pa_threaded_mainloop_wait", a.threaded_mainloop_wait) &&
            resolve(lib, "pa_threaded_mainloop_signal", a.threaded_mainloop_signal) &&
            resolve(lib, "pa_threaded_mainloop_get_api", a.threaded_mainloop_get_api) &&
            resolve(lib, "pa_context_new", a.context_new) && resolve(lib, "pa_context_unref", a.context_unref) &&
            resolve(lib, "pa_context_connect", a.context_connect) &&
            resolve(lib, "pa_context_disconnect", a.context_disconnect) &&
            resolve(lib, "pa_context_get_state", a.context_get_state) &&
            resolve(lib, "pa_context_set_state_callback", a.context_set_state_callback) &&
            resolve(lib, "pa_stream_new", a.stream_new) && resolve(lib, "pa_stream_unref", a.stream_unref) &&
            resolve(lib, "pa_stream_connect_playback", a.stream_connect_playback) &&
            resolve(lib, "pa_stream_disconnect", a.stream_disconnect) &&
            resolve(lib, "pa_stream_get_state", a.stream_get_state) &&
            resolve(lib, "pa_stream_set_state_callback", a.stream_set_state_callback) &&
            resolve(lib, "pa_stream_set_write_callback", a.stream_set_write_callback) &&
            resolve(lib, "pa_stream_begin_write", a.stream_begin_write) &&
            resolve(lib, "pa_stream_cancel_write", a.stream_cancel_write) &&
            resolve(lib, "pa_stream_write", a.stream_write) && resolve(lib, "pa_stream_drain", a.stream_drain) &&
            resolve(lib, "pa_operation_unref", a.operation_unref) &&
            resolve(lib, "pa_operation_cancel", a.operation_cancel) &&
            resolve(lib, "pa_operation_get_state", a.operation_get_state);
        return ok ? &a : nullptr;
    }();
    return api;
}

pa_sample_format_t formatOf(SampleCoding coding)
{
    switch (coding) {
    case SampleCoding::U8: return PA_SAMPLE_U8;
    case SampleCoding::S16LE: return PA_SAMPLE_S16LE;
    case SampleCoding::S24LE: return PA_SAMPLE_S24LE;
    case SampleCoding::S32LE: return PA_SAMPLE_S32LE;
    case SampleCoding::Float32LE: return PA_SAMPLE_FLOAT32LE;
    case SampleCoding::ALaw: return PA_SAMPLE_ALAW;
    case SampleCoding::MuLaw: return PA_SAMPLE_ULAW;
    }
    return PA_SAMPLE_INVALID;
}

// One sound file being played: its samples come from memory or straight from the file.
class Sound {
public:
    static std::unique_ptr<Sound> open(const std::string& fileName, bool loop)
    {
        if (fileName.empty())
            return nullptr;
        // Non-blocking: a FIFO under a sound's name must not hang the game on open.
        const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return nullptr;
        std::unique_ptr<Sound> sound(new Sound(fd, loop));
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            return nullptr;
        const auto layout = readWavLayout(
            [fd](std::uint64_t offset, void* out, std::size_t n) { return readFully(fd, offset, out, n); },
            static_cast<std::uint64_t>(st.st_size));
        if (!layout || layout->dataBytes == 0)
            return nullptr;
        sound->layout_ = *layout;
        if (layout->dataBytes <= kReadWholeBytes) {
            sound->whole_.resize(layout->dataBytes);
            const std::size_t got = readFully(fd, layout->dataOffset, sound->whole_.data(), sound->whole_.size());
            sound->whole_.resize(got - got % layout->frameBytes);
            sound->layout_.dataBytes = sound->whole_.size();
            if (sound->whole_.empty())
                return nullptr;
        }
        return sound;
    }

    ~Sound()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    const WavLayout& layout() const { return layout_; }
    bool ended() const { return ended_; }

    // Fills out with up to n bytes of whole frames, from the start again for a loop.
    std::size_t fill(unsigned char* out, std::size_t n)
    {
        std::size_t filled = 0;
        while (filled < n && !ended_) {
            if (pos_ >= layout_.dataBytes) {
                if (!loop_ || layout_.dataBytes == 0) {
                    ended_ = true;
                    break;
                }
                pos_ = 0;
            }
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(n - filled, layout_.dataBytes - pos_));
            const std::size_t got = readAt(pos_, out + filled, want);
            if (got == 0) {
                // The file has shrunk since it was opened: what is left of it is the sound.
                layout_.dataBytes = pos_ - pos_ % layout_.frameBytes;
                continue;
            }
            filled += got;
            pos_ += got;
        }
        return filled - filled % layout_.frameBytes;
    }

private:
    Sound(int fd, bool loop) : fd_(fd), loop_(loop) {}

    static std::size_t readFully(int fd, std::uint64_t offset, void* out, std::size_t n)
    {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd, static_cast<char*>(out) + done, n - done, static_cast<off_t>(offset + done));
            if (got > 0)
                done += static_cast<std::size_t>(got);
            else if (got < 0 && errno == EINTR)
                continue;
            else
                break;
        }
        return done;
    }

    std::size_t readAt(std::uint64_t pos, unsigned char* out, std::size_t n)
    {
        if (!whole_.empty()) {
            std::memcpy(out, whole_.data() + pos, n);
            return n;
        }
        return readFully(fd_, layout_.dataOffset + pos, out, n);
    }

    int fd_;
    bool loop_;
    WavLayout layout_;
    std::vector<unsigned char> whole_;
    std::uint64_t pos_ = 0;
    bool ended_ = false;
};

std::uint32_t bytesFor(std::uint64_t us, const WavLayout& layout)
{
    const std::uint64_t frames = std::max<std::uint64_t>(1, us * layout.rate / 1000000);
    return static_cast<std::uint32_t>(frames * layout.frameBytes);
}

}  // namespace

// Everything but the blocking wait runs under the mainloop's lock: the calls of the
// game's thread take it, and the server's callbacks are made holding it.
struct PulseOutput::Impl {
    explicit Impl(const PulseApi& api) : pa(api) {}

    ~Impl()
    {
        if (loop == nullptr)
            return;
        if (ctx != nullptr) {
            pa.threaded_mainloop_lock(loop);
            dropStream();
            pa.context_set_state_callback(ctx, nullptr, nullptr);
            pa.context_disconnect(ctx);
            pa.context_unref(ctx);
            pa.threaded_mainloop_unlock(loop);
        }
        if (started)
            pa.threaded_mainloop_stop(loop);
        pa.threaded_mainloop_free(loop);
    }

    // Starts the file; the length of the sound, or nothing if it is not one.
    std::optional<std::chrono::milliseconds> start(const std::string& fileName, bool loopIt)
    {
        dropStream();
        {
            std::lock_guard<std::mutex> lock(doneMutex);
            done = false;
        }
        std::unique_ptr<Sound> opened = Sound::open(fileName, loopIt);
        if (!opened)
            return std::nullopt;
        const WavLayout& layout = opened->layout();
        const std::chrono::milliseconds length(layout.lengthMs());
        if (broken) {
            finish();
            return length;
        }
        const pa_sample_spec format{formatOf(layout.coding), layout.rate, static_cast<std::uint8_t>(layout.channels)};
        pa_stream* s = pa.stream_new(ctx, loopIt ? "music" : "sound effect", &format, nullptr);
        if (s == nullptr) {
            finish();
            return length;
        }
        stream = s;
        sound = std::move(opened);
        pa.stream_set_state_callback(s, &Impl::onStreamState, this);
        pa.stream_set_write_callback(s, &Impl::onWrite, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = bytesFor(kQueuedUs, layout);
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = bytesFor(kRequestUs, layout);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        if (pa.stream_connect_playback(s, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) < 0) {
            dropStream();
            finish();
        }
        return length;
    }

    void dropStream()
    {
        if (drain != nullptr) {
            if (pa.operation_get_state(drain) == PA_OPERATION_RUNNING)
                pa.operation_cancel(drain);
            pa.operation_unref(drain);
            drain = nullptr;
        }
        if (stream != nullptr) {
            pa_stream* s = stream;
            stream = nullptr;
            pa.stream_set_write_callback(s, nullptr, nullptr);
            const pa_stream_state_t state = pa.stream_get_state(s);
            if (state == PA_STREAM_CREATING) {
                // Cannot be disconnected before the server has made it; its state
                // callback does that, and lets it go, once the server answers.
            } else {
                pa.stream_set_state_callback(s, nullptr, nullptr);
                if (state == PA_STREAM_READY)
                    pa.stream_disconnect(s);
                pa.stream_unref(s);
            }
        }
        sound.reset();
    }

    void feed(std::size_t wanted)
    {
        while (wanted > 0 && !sound->ended()) {
            void* buffer = nullptr;
            std::size_t n = wanted;
            if (pa.stream_begin_write(stream, &buffer, &n) < 0 || buffer == nullptr)
                return;
            const std::size_t filled = sound->fill(static_cast<unsigned char*>(buffer), n);
            if (filled == 0) {
                pa.stream_cancel_write(stream);
                break;
            }
            if (pa.stream_write(stream, buffer, filled, nullptr, 0, PA_SEEK_RELATIVE) < 0)
                return;
            wanted -= std::min(wanted, filled);
        }
        if (sound->ended() && drain == nullptr)
            drain = pa.stream_drain(stream, &Impl::onDrained, this);
    }

    void finish()
    {
        {
            std::lock_guard<std::mutex> lock(doneMutex);
            done = true;
        }
        doneChanged.notify_all();
    }

    static void onContextState(pa_context* c, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        if (!PA_CONTEXT_IS_GOOD(self->pa.context_get_state(c))) {
            self->broken = true;
            self->finish();
        }
        self->pa.threaded_mainloop_signal(self->loop, 0);
    }

    static void onStreamState(pa_stream* s, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        const pa_stream_state_t state = self->pa.stream_get_state(s);
        if (s != self->stream) {
            // Dropped while the server was still making it.
            if (state == PA_STREAM_READY) {
                self->pa.stream_disconnect(s);
            } else if (!PA_STREAM_IS_GOOD(state)) {
                self->pa.stream_set_state_callback(s, nullptr, nullptr);
                self->pa.stream_unref(s);
            }
            return;
        }
        if (!PA_STREAM_IS_GOOD(state))
            self->finish();
    }

    static void onWrite(pa_stream* s, std::size_t nbytes, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        if (s == self->stream && self->sound)
            self->feed(nbytes);
    }

    static void onDrained(pa_stream* s, int, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        if (s == self->stream)
            self->finish();
    }

    const PulseApi& pa;
    pa_threaded_mainloop* loop = nullptr;
    bool started = false;
    pa_context* ctx = nullptr;
    bool broken = false;  // the server has gone
    pa_stream* stream = nullptr;
    std::unique_ptr<Sound> sound;
    pa_operation* drain = nullptr;

    // The sound played to its end, or could not be: guarded by doneMutex, not the lock.
    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool done = false;
};

namespace {

class Locked {
public:
    explicit Locked(PulseOutput::Impl& impl) : impl_(impl) { impl_.pa.threaded_mainloop_lock(impl_.loop); }
    ~Locked() { impl_.pa.threaded_mainloop_unlock(impl_.loop); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    PulseOutput::Impl& impl_;
};

}  // namespace

std::unique_ptr<PulseOutput> PulseOutput::connect(const char* appName)
{
    const PulseApi* api = pulse();
    if (api == nullptr)
        return nullptr;
    auto impl = std::make_unique<Impl>(*api);
    impl->loop = api->threaded_mainloop_new();
    if (impl->loop == nullptr)
        return nullptr;
    impl->ctx = api->context_new(api->threaded_mainloop_get_api(impl->loop), appName);
    if (impl->ctx == nullptr)
        return nullptr;
    api->context_set_state_callback(impl->ctx, &Impl::onContextState, impl.get());
    if (api->threaded_mainloop_start(impl->loop) < 0)
        return nullptr;
    impl->started = true;
    {
        Locked lock(*impl);
        // No autospawn: a desktop without a server gets the fallback, not a new daemon.
        if (api->context_connect(impl->ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return nullptr;
        for (;;) {
            const pa_context_state_t state = api->context_get_state(impl->ctx);
            if (state == PA_CONTEXT_READY)
                break;
            if (!PA_CONTEXT_IS_GOOD(state))
                return nullptr;
            api->threaded_mainloop_wait(impl->loop);
        }
    }
    return std::unique_ptr<PulseOutput>(new PulseOutput(std::move(impl)));
}

PulseOutput::PulseOutput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PulseOutput::~PulseOutput() = default;

void PulseOutput::startLoop(const std::string& fileName)
{
    Locked lock(*impl_);
    impl_->start(fileName, true);
}

void PulseOutput::playToEnd(const std::string& fileName)
{
    const auto started = Clock::now();
    std::optional<std::chrono::milliseconds> length;
    {
        Locked lock(*impl_);
        length = impl_->start(fileName, false);
    }
    if (!length)
        return;
    // Deliberately no event processing: the whole game holds still until the end.
    bool ended = false;
    {
        std::unique_lock<std::mutex> lock(impl_->doneMutex);
        ended = impl_->doneChanged.wait_until(lock, started + *length + kStallMargin, [this] { return impl_->done; });
    }
    if (!ended)
        stop();
    // The server may report the end early; the sound's own length is the least the game waits.
    std::this_thread::sleep_until(started + *length);
}

void PulseOutput::stop()
{
    Locked lock(*impl_);
    impl_->dropStream();
}

}  // namespace platform
