#include "platform/pulse/PulseDevice.h"

#include <fcntl.h>
#include <pulse/pulseaudio.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <set>
#include <thread>
#include <utility>

#include "platform/posix/PosixFiles.h"

namespace platform {

namespace {

using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What the server keeps queued, and how much it asks for at a time: large pieces
// keep the feeding thread to some fifteen wake-ups a second, and a dropped stream
// takes everything it still held with it.
constexpr pa_usec_t kQueuedUs = 160000;
constexpr pa_usec_t kRequestUs = 70000;
constexpr sf_count_t kLongestHoldSeconds = 5;
// While a loop should be heard and the server is away, it is called again this often:
// the loop comes back within a second of a server that restarts.
constexpr pa_usec_t kRetryUs = 300000;
// A server never reached, or gone for longer than a restart takes, is called less
// often: each call may cost a line on stderr from the client library.
constexpr pa_usec_t kRestartUs = 10000000;
constexpr pa_usec_t kSlowRetryUs = 5000000;

// What the desktop's mixer shows and what role policies (a call lowering games) see.
pa_proplist* identity()
{
    pa_proplist* p = pa_proplist_new();
    pa_proplist_sets(p, PA_PROP_APPLICATION_NAME, "Zenkora Ver. 1");
    pa_proplist_sets(p, PA_PROP_APPLICATION_ID, "io.github.zenkora.Zenkora");
    pa_proplist_sets(p, PA_PROP_APPLICATION_ICON_NAME, "io.github.zenkora.Zenkora");
    pa_proplist_sets(p, PA_PROP_MEDIA_ROLE, "game");
    return p;
}

// A sound file, read a piece at a time as it plays.
class Sound {
public:
    // Nothing for a file that is missing, not a plain file, or not a sound the server
    // can play; `why` says which in a few words.
    static std::unique_ptr<Sound> open(const std::string& path, bool loop, std::string& why)
    {
        // Non-blocking: a FIFO under a sound's name must not hang the game.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
            why = fd < 0 ? reasonOf(errno) : st.st_size == 0 && S_ISREG(st.st_mode) ? "empty" : "not a regular file";
            if (fd >= 0)
                ::close(fd);
            return nullptr;
        }
        SF_INFO info{};
        SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);  // closes fd, also when it fails
        if (file == nullptr) {
            why = sf_strerror(nullptr);
            why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
            why.erase(why.find_last_not_of(". ") + 1);
            return nullptr;
        }
        std::unique_ptr<Sound> sound(new Sound(file, info, loop));
        // The server takes the rates and channel counts it knows a layout for.
        pa_channel_map map{};
        const pa_sample_spec format = sound->sampleFormat();
        if (info.frames <= 0)
            why = "no sound in it";
        else if (info.channels <= 0 || info.channels > int{PA_CHANNELS_MAX} ||
                 !pa_channel_map_init_auto(&map, format.channels, PA_CHANNEL_MAP_DEFAULT))
            why = std::to_string(info.channels) + " channels";
        else if (!pa_sample_spec_valid(&format))
            why = "a rate of " + std::to_string(info.samplerate) + " Hz";
        return why.empty() ? std::move(sound) : nullptr;
    }
    ~Sound() { sf_close(file_); }
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    pa_sample_spec sampleFormat() const
    {
        return {PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(info_.samplerate), static_cast<std::uint8_t>(info_.channels)};
    }
    std::size_t frameBytes() const { return sizeof(float) * static_cast<std::size_t>(info_.channels); }
    // Played once: what the game waits for.
    milliseconds length() const { return milliseconds(left_ * 1000 / info_.samplerate); }

    // Whole frames into out, as floats whatever the file's coding (read as 16-bit,
    // float files come out silent); fewer than asked only at the end of a sound
    // played once, or of a file that cannot be read on. A loop goes on from the start.
    sf_count_t fill(float* out, sf_count_t want)
    {
        if (!loop_)
            want = std::min(want, left_);
        sf_count_t done = 0;
        bool rewound = false;
        while (done < want) {
            const sf_count_t got = sf_readf_float(file_, out + done * info_.channels, want - done);
            if (got > 0) {
                done += got;
                rewound = false;
            } else if (!loop_ || rewound || sf_seek(file_, 0, SEEK_SET) < 0) {
                break;
            } else {
                rewound = true;
            }
        }
        if (!loop_)
            left_ -= done;
        return done;
    }

private:
    Sound(SNDFILE* file, const SF_INFO& info, bool loop)
        : file_(file), info_(info), loop_(loop),
          left_(loop ? info.frames : std::min(info.frames, info.samplerate * kLongestHoldSeconds))
    {
    }

    SNDFILE* file_;
    SF_INFO info_;
    bool loop_;
    sf_count_t left_;  // frames still to play once
};

class Locked {
public:
    // Before open() there is no server thread, and nothing to lock against.
    explicit Locked(pa_threaded_mainloop* m) : m_(m)
    {
        if (m_ != nullptr)
            pa_threaded_mainloop_lock(m_);
    }
    ~Locked()
    {
        if (m_ != nullptr)
            pa_threaded_mainloop_unlock(m_);
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    pa_threaded_mainloop* m_;
};

}  // namespace

// Everything runs under the mainloop's lock: the game's calls take it, and the
// server's callbacks come holding it. No call made under it waits for the server.
struct PulseDevice::Impl {
    ~Impl()
    {
        if (mainloop == nullptr)
            return;
        {
            Locked lock(mainloop);
            loop.clear();
            drop();
            if (retry != nullptr)
                pa_threaded_mainloop_get_api(mainloop)->time_free(retry);
            if (ctx != nullptr) {
                pa_context_set_state_callback(ctx, nullptr, nullptr);
                pa_context_disconnect(ctx);
                pa_context_unref(ctx);
            }
        }
        pa_threaded_mainloop_stop(mainloop);
        pa_threaded_mainloop_free(mainloop);
    }

    void say(const std::string& why)
    {
        if (!told)
            std::fprintf(stderr, "zenkora: sound is off: %s; the game goes on silently\n", why.c_str());
        told = true;
    }

    // A file that cannot play is named once, and its cue is silent.
    std::unique_ptr<Sound> load(const std::string& path, bool looped)
    {
        std::string why;
        std::unique_ptr<Sound> sound = Sound::open(path, looped, why);
        if (!sound && named.insert(path).second)
            std::fprintf(stderr, "zenkora: cannot play %s: %s\n", path.c_str(), why.c_str());
        return sound;
    }

    bool ready() const { return ctx != nullptr && pa_context_get_state(ctx) == PA_CONTEXT_READY; }
    // Still on its way to the server, which has been asked.
    bool waiting() const
    {
        const bool connecting = ctx != nullptr && PA_CONTEXT_IS_GOOD(pa_context_get_state(ctx)) && !ready();
        return connecting || (stream != nullptr && pa_stream_get_state(stream) == PA_STREAM_CREATING);
    }

    // Returns at once; the answer comes to onContext.
    void connect()
    {
        if (ctx != nullptr) {
            pa_context_set_state_callback(ctx, nullptr, nullptr);
            pa_context_unref(ctx);
        }
        pa_proplist* props = identity();
        ctx = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(mainloop), "Zenkora", props);
        pa_proplist_free(props);
        if (ctx == nullptr)
            return say("no sound server client");
        pa_context_set_state_callback(ctx, &Impl::onContext, this);
        // No autospawn: a desktop without a server stays silent rather than gain a daemon.
        if (pa_context_connect(ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            say(std::string("sound server: ") + pa_strerror(pa_context_errno(ctx)));
            callAgain();
        }
    }

    // While a loop is wanted, the server is called again until it answers.
    void callAgain()
    {
        const pa_usec_t now = pa_rtclock_now();
        const bool restarting = lostAt != 0 && now - lostAt < kRestartUs;
        if (retry == nullptr && !loop.empty() && ctx != nullptr)
            retry = pa_context_rttime_new(ctx, now + (restarting ? kRetryUs : kSlowRetryUs), &Impl::onRetry, this);
    }

    static void onRetry(pa_mainloop_api* api, pa_time_event* e, const struct timeval*, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        api->time_free(e);
        self->retry = nullptr;
        if (!self->loop.empty() && !PA_CONTEXT_IS_GOOD(pa_context_get_state(self->ctx))) {
            self->drop();
            self->connect();
        }
    }

    // Replaces what plays; returns the length of a sound played once.
    milliseconds play(const std::string& name, bool looped)
    {
        drop();
        const std::string path = locate(name);
        loop = looped ? path : std::string();
        if (mainloop != nullptr && (ctx == nullptr || !PA_CONTEXT_IS_GOOD(pa_context_get_state(ctx))))
            connect();
        std::unique_ptr<Sound> sound = load(path, looped);
        const milliseconds length = sound ? sound->length() : milliseconds(0);
        if (ready())
            begin(std::move(sound));
        return length;
    }

    void begin(std::unique_ptr<Sound> sound)
    {
        if (!sound)
            return;
        const pa_sample_spec sampleFormat = sound->sampleFormat();
        pa_proplist* props = identity();
        pa_stream* s = pa_sample_spec_valid(&sampleFormat)
                           ? pa_stream_new_with_proplist(ctx, "Zenkora", &sampleFormat, nullptr, props)
                           : nullptr;
        pa_proplist_free(props);
        if (s == nullptr)
            return;
        stream = s;
        playing = std::move(sound);
        pa_stream_set_write_callback(s, &Impl::onWrite, this);
        const auto bytes = [&sampleFormat](pa_usec_t us) { return static_cast<std::uint32_t>(pa_usec_to_bytes(us, &sampleFormat)); };
        const pa_buffer_attr attr{std::uint32_t(-1), bytes(kQueuedUs), std::uint32_t(-1), bytes(kRequestUs), std::uint32_t(-1)};
        if (pa_stream_connect_playback(s, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) < 0)
            drop();
    }

    // Silent at once: the server lets go of everything the stream had queued.
    void drop()
    {
        playing.reset();
        pa_stream* s = std::exchange(stream, nullptr);
        if (s == nullptr)
            return;
        pa_stream_set_write_callback(s, nullptr, nullptr);
        if (pa_stream_get_state(s) == PA_STREAM_CREATING)
            return pa_stream_set_state_callback(s, &Impl::onDropped, nullptr);
        if (pa_stream_get_state(s) == PA_STREAM_READY)
            pa_stream_disconnect(s);
        pa_stream_unref(s);
    }

    static void onContext(pa_context* c, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        const pa_context_state_t state = pa_context_get_state(c);
        if (state == PA_CONTEXT_READY) {
            self->wasReady = true;
            if (std::exchange(self->told, false))
                std::fprintf(stderr, "zenkora: sound is back\n");
            // The loop that should be playing now; a sound played once is not made up for.
            if (!self->loop.empty() && self->stream == nullptr)
                self->begin(self->load(self->loop, true));
        } else if (!PA_CONTEXT_IS_GOOD(state)) {
            if (std::exchange(self->wasReady, false))
                self->lostAt = pa_rtclock_now();
            self->say(std::string("sound server: ") + pa_strerror(pa_context_errno(c)));
            self->callAgain();
        }
    }

    // A stream dropped before the server had made it: ended once it has.
    static void onDropped(pa_stream* s, void*)
    {
        const pa_stream_state_t state = pa_stream_get_state(s);
        if (state == PA_STREAM_READY) {
            pa_stream_disconnect(s);
        } else if (!PA_STREAM_IS_GOOD(state)) {
            pa_stream_set_state_callback(s, nullptr, nullptr);
            pa_stream_unref(s);
        }
    }

    static void onWrite(pa_stream* s, std::size_t bytes, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        while (bytes > 0 && self->playing) {
            const std::size_t frameBytes = self->playing->frameBytes();
            void* data = nullptr;
            std::size_t n = bytes;
            if (pa_stream_begin_write(s, &data, &n) < 0 || data == nullptr)
                return;
            const sf_count_t want = static_cast<sf_count_t>(n / frameBytes);
            const sf_count_t got = self->playing->fill(static_cast<float*>(data), want);
            if (got > 0)
                pa_stream_write(s, data, static_cast<std::size_t>(got) * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
            else
                pa_stream_cancel_write(s);
            if (got < want || got == 0) {
                // The end: the server plays what it holds, however little.
                self->playing.reset();
                if (pa_operation* o = pa_stream_drain(s, nullptr, nullptr))
                    pa_operation_unref(o);
            }
            bytes -= std::min(bytes, static_cast<std::size_t>(got) * frameBytes);
        }
    }

    Locate locate;
    pa_threaded_mainloop* mainloop = nullptr;  // from open() on
    pa_context* ctx = nullptr;
    pa_stream* stream = nullptr;
    std::unique_ptr<Sound> playing;  // until all of it is with the server
    std::string loop;                // the loop that should be heard, as a path
    pa_time_event* retry = nullptr;  // the server to be called again
    bool told = false;               // sound being off was said, and not yet that it is back
    std::set<std::string> named;     // the files that cannot play, once told
    bool wasReady = false;           // the server answered, and has not gone since
    pa_usec_t lostAt = 0;            // when it last went away
};

PulseDevice::PulseDevice(Locate locate) : impl_(std::make_unique<Impl>())
{
    impl_->locate = std::move(locate);
}

PulseDevice::~PulseDevice() = default;

void PulseDevice::open()
{
    Impl& d = *impl_;
    if (d.mainloop != nullptr)
        return;
    d.mainloop = pa_threaded_mainloop_new();
    if (d.mainloop == nullptr || pa_threaded_mainloop_start(d.mainloop) < 0) {
        if (d.mainloop != nullptr)
            pa_threaded_mainloop_free(d.mainloop);
        d.mainloop = nullptr;
        return d.say("no thread for the sound server");
    }
    Locked lock(d.mainloop);
    d.connect();
    // A loop asked for before now starts once the server answers.
}

void PulseDevice::startLoop(const std::string& fileName)
{
    Locked lock(impl_->mainloop);
    impl_->play(fileName, true);
}

void PulseDevice::playToEnd(const std::string& fileName)
{
    Impl& d = *impl_;
    const auto start = Steady::now();
    milliseconds length{0};
    {
        Locked lock(d.mainloop);
        length = d.play(fileName, false);
    }
    // Deliberately no event processing: the whole game holds still until the end.
    // The sound's own length, not the server, says when: a frozen server holds
    // nothing longer, and the tail the server still has plays on until the next call.
    std::this_thread::sleep_until(start + length);
    Locked lock(d.mainloop);
    if (d.waiting())
        d.say("sound server: not answering");
}

void PulseDevice::stop()
{
    Locked lock(impl_->mainloop);
    impl_->loop.clear();
    impl_->drop();
}

}  // namespace platform
