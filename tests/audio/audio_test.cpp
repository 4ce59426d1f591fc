// The sound device as players meet it: against a private PulseAudio null sink that
// this program starts, freezes, kills and restarts itself, with an ear on the sink's
// monitor; or against no server at all.   zenkora_audio_tests server|none (77: none)

#include <gtest/gtest.h>
#include <pulse/simple.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "platform/pulse/PulseDevice.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
std::string dir;  // the server's runtime folder, a home, the sound files
pid_t server = 0;

void sleep(std::chrono::milliseconds d) { std::this_thread::sleep_for(d); }
template <typename F> long long ms(F f) { const auto t = Clock::now(); f(); return (Clock::now() - t) / 1ms; }
// A cue held for its length: never shorter, and never longer by more than a busy
// machine's late wake-ups could ever add; a cue held on the server is held for seconds.
bool lasts(long long took, long long length) { return took >= length - 50 && took < length + 1000; }
constexpr long long kAtOnce = 250;  // ms: work that takes well under 1 ms, on a busy machine

// A tone, 22.05 kHz mono. Its header claims 2 GiB if claim; fill makes them real (sparse).
std::string tone(const std::string& name, double seconds, int coding = SF_FORMAT_PCM_16, bool claim = false, bool fill = false)
{
    SF_INFO info{0, 22050, 1, SF_FORMAT_WAV | coding, 0, 0};
    std::vector<float> s(static_cast<std::size_t>(seconds * info.samplerate));
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = 0.25f * std::sin(0.1f * static_cast<float>(i));
    const std::string path = dir + "/" + name;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    sf_close((sf_writef_float(f, s.data(), static_cast<sf_count_t>(s.size())), f));
    const std::uint32_t size = 0x7ffffff0;
    const char* bytes = reinterpret_cast<const char*>(&size);
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    if (claim)  // the RIFF size, and the data size of libsndfile's plain header
        out.seekp(4).write(bytes, 4).seekp(40).write(bytes, 4).flush();
    if (fill) fs::resize_file(path, size + 44ULL);
    return path;
}

void startServer()
{
    if ((server = fork()) == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // ends with us, even when a timeout kills us
        std::freopen("/dev/null", "w", stderr);  // as root it says it is not meant to run as root
        execlp("pulseaudio", "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "--system=false", "-n",
               "--use-pid-file=no", "--load=module-null-sink", "--load=module-native-protocol-unix", nullptr);
        _exit(127);
    }
    for (int i = 0; i < 100 && std::system("pactl info >/dev/null 2>&1") != 0; ++i) sleep(100ms);
}

void killServer() { kill(server, SIGKILL), waitpid(server, nullptr, 0); }

std::string slurp(std::istream&& in) { return std::string(std::istreambuf_iterator<char>(in), {}); }
long peakKb() { const std::string s = slurp(std::ifstream("/proc/self/status")); return std::stol(s.substr(s.find("VmHWM:") + 6)); }
int streams() { int n = -1; FILE* p = popen("pactl list short sink-inputs | wc -l", "r"); return std::fscanf(p, "%d", &n), pclose(p), n; }

// What comes out of the null sink, read live in 10 ms windows.
class Ear {
public:
    // An idle null sink renders seconds ahead: ready from its first short piece on.
    Ear() { for (int i = 0; i < 300 && !on_; ++i) sleep(10ms); }
    ~Ear() { run_ = false, thread_.join(); }
    Clock::time_point lastLoud() const { return Clock::time_point(Clock::duration(last_)); }
    // Sound plays when d has passed: a loud piece of its last 100 ms is read, as late as a
    // busy machine may let this thread read it.
    bool hearsAfter(std::chrono::milliseconds d) const
    {
        sleep(d);
        const auto from = Clock::now() - 100ms;
        for (int i = 0; i < 300 && lastLoud() <= from; ++i) sleep(10ms);
        return lastLoud() > from;
    }
    int gaps() const { return gaps_; }  // silent windows since the first loud one
    bool heardAny() const { return last_ != 0; }

private:
    void listen()
    {
        const pa_sample_spec sampleFormat{PA_SAMPLE_S16NE, 22050, 1};
        const pa_buffer_attr attr{std::uint32_t(-1), 0, 0, 0, 441};  // 10 ms pieces
        pa_simple* s = pa_simple_new(nullptr, "ear", PA_STREAM_RECORD, "null.monitor", "ear", &sampleFormat, nullptr, &attr, nullptr);
        short w[220];
        while (run_ && s && pa_simple_read(s, w, sizeof w, nullptr) == 0) {
            double sum = 0;
            for (short v : w) sum += v * v;
            on_ = true;
            if (sum / 220 > 100 * 100) last_ = Clock::now().time_since_epoch().count();
            else gaps_ += last_ != 0;
        }
        if (s) pa_simple_free(s);
    }
    std::atomic<bool> run_{true}, on_{false};
    std::atomic<Clock::rep> last_{0};
    std::atomic<int> gaps_{0};
    std::thread thread_{[this] { listen(); }};
};

TEST(Server, LoopsJoinWithoutGapOneAtATimeAndStop)
{
    Ear ear;
    platform::PulseDevice sound;
    const std::string a = tone("a.wav", 0.1), b = tone("b.wav", 0.25, SF_FORMAT_FLOAT);
    sound.startLoop(a);  // starts once the server answers
    sound.open();
    EXPECT_TRUE(ear.hearsAfter(1500ms));
    // A loop started again at its end is silent a tenth of a second at each of its 15 joins;
    // a starved machine feeds the server late now and then, far less often.
    EXPECT_LT(ear.gaps(), 50);
    for (int i = 0; i < 20; ++i) sound.startLoop(a), sound.startLoop(b), sound.stop();
    sound.startLoop(b);
    EXPECT_TRUE(ear.hearsAfter(500ms));
    EXPECT_EQ(streams(), 1);
    FILE* p = popen("pactl list sink-inputs", "r");  // what the desktop's mixer shows
    std::string shown(4096, '\0');
    shown.resize(std::fread(shown.data(), 1, shown.size(), p)), pclose(p);
    for (const char* line : {"media.role = \"game\"", "application.id = \"io.github.zenkora.Zenkora\"",
                             "application.icon_name = \"io.github.zenkora.Zenkora\"", "application.name = \"Zenkora Ver. 1\""})
        EXPECT_NE(shown.find(line), std::string::npos) << line << " not in\n" << shown;
    const auto stopped = Clock::now();
    sound.stop();
    sleep(1500ms);
    EXPECT_LT(ear.lastLoud() - stopped, 1s);
    EXPECT_EQ(streams(), 0);
}

TEST(Server, ExplosionHoldsItsLengthAtMostFiveSecondsInConstantMemory)
{
    Ear ear;
    platform::PulseDevice sound;
    sound.open();
    sleep(300ms);
    EXPECT_PRED2(lasts, ms([&] { sound.playToEnd(tone("bom.wav", 0.6)); }), 600);
    EXPECT_TRUE(ear.hearsAfter(0ms));
    EXPECT_PRED2(lasts, ms([&] { sound.playToEnd(tone("claims.wav", 0.2, SF_FORMAT_PCM_16, true)); }), 200);
    const long before = peakKb();
    EXPECT_PRED2(lasts, ms([&] { sound.playToEnd(tone("huge.wav", 0.2, SF_FORMAT_PCM_16, true, true)); }), 5000);
    EXPECT_LT(peakKb() - before, 8 * 1024) << "kB more at the peak";
}

TEST(Server, FrozenOrGoneServerHoldsNoCueBeyondItsLengthAndOnItsReturnTheNextCuePlays)
{
    const std::string bom = tone("bom.wav", 0.4), a = tone("a.wav", 0.25);
    kill(server, SIGSTOP);  // before the game calls it
    platform::PulseDevice sound;
    sound.open();
    EXPECT_PRED2(lasts, ms([&] { sound.startLoop(a), sound.playToEnd(bom); }), 400);
    kill(server, SIGCONT);
    sound.startLoop(a);
    EXPECT_TRUE(Ear().hearsAfter(1s));
    kill(server, SIGSTOP);  // in the middle of a loop
    EXPECT_PRED2(lasts, ms([&] { sound.startLoop(a), sound.playToEnd(bom), sound.stop(); }), 400);
    kill(server, SIGCONT);
    sound.startLoop(a);
    sleep(300ms);
    killServer();  // gone in the middle of a loop; silence is asked for meanwhile
    EXPECT_PRED2(lasts, ms([&] { sound.playToEnd(bom), sound.stop(); }), 400);
    startServer();
    Ear quiet;
    sleep(1500ms);
    EXPECT_FALSE(quiet.heardAny()) << "a sound of the time without a server was played late";
    sound.startLoop(a);
    EXPECT_TRUE(quiet.hearsAfter(500ms));
}

TEST(Server, TheLoopOfTheMomentComesBackWithTheServerByItself)
{
    const std::string bom = tone("bom.wav", 0.4), a = tone("a.wav", 0.25);
    platform::PulseDevice sound;
    sound.open();
    sound.startLoop(a);
    sleep(300ms);
    killServer();
    sound.playToEnd(bom), sound.startLoop(a);  // an explosion, then the game music again
    sleep(1s);
    startServer();
    const auto up = Clock::now();
    Ear ear;  // a second after the server, or as soon after as a busy machine lets it be heard
    EXPECT_TRUE(ear.hearsAfter(std::chrono::duration_cast<std::chrono::milliseconds>(up + 1s - Clock::now())));
}

TEST(NoServer, SoundsKeepTheirTimeSilentlyBadFilesReturnAtOnceAndItIsSaidOnce)
{
    mkfifo((dir + "/fifo.wav").c_str(), 0600);
    fs::create_directory(dir + "/folder.wav");
    std::ofstream(dir + "/garbage.wav") << std::string(20000, 'x');
    std::ofstream(dir + "/empty.wav").close();
    for (SF_INFO info : {SF_INFO{0, 1000000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0}, SF_INFO{0, 22050, 32, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0}}) {
        const std::vector<short> silence(1000 * info.channels);
        SNDFILE* f = sf_open((dir + (info.channels == 1 ? "/fast.wav" : "/wide.wav")).c_str(), SFM_WRITE, &info);
        sf_close((sf_writef_short(f, silence.data(), 1000), f));
    }
    tone("a.wav", 0.5);
    std::fflush(stderr);
    const int saved = dup(2);
    std::freopen((dir + "/stderr.txt").c_str(), "w", stderr);
    const char* bad[] = {"missing.wav", "garbage.wav", "fifo.wav", "folder.wav", "empty.wav", "fast.wav", "wide.wav"};
    {
        platform::PulseDevice sound([](const std::string& name) { return dir + "/" + name; });
        sound.open();
        sound.startLoop("a.wav");
        EXPECT_PRED2(lasts, ms([&] { sound.playToEnd("a.wav"); }), 500);
        for (const char* name : bad)
            EXPECT_LT(ms([&] { sound.playToEnd(name); }), kAtOnce) << name;
        EXPECT_LT(ms([&] { sound.startLoop("fifo.wav"); }), kAtOnce);
    }
    std::fflush(stderr);
    dup2(saved, 2);
    // Sound being off is said once, and each file that cannot play is named once.
    const std::string said = slurp(std::ifstream(dir + "/stderr.txt"));
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1 + std::ssize(bad)) << said;
    EXPECT_NE(said.find("sound is off"), std::string::npos) << said;
    for (const char* why : {"missing.wav: no such file\n", "fifo.wav: not a regular file\n", "empty.wav: empty\n",
                            "garbage.wav: format not recognised\n", "fast.wav: a rate of 1000000 Hz\n", "wide.wav: 32 channels\n"})
        EXPECT_NE(said.find("zenkora: cannot play " + dir + "/" + why), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(dir + "/run/pulse/native")) << "a server was started for the game";
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const std::string mode = argc == 2 ? argv[1] : "";
    if (mode != "server" && mode != "none") return 2;
    if (mode == "server" && std::system("command -v pulseaudio >/dev/null") != 0) return std::puts("SKIP: no pulseaudio"), 77;
    // Everything the server and its clients keep goes into a folder of our own.
    dir = (fs::temp_directory_path() / ("zenkora-audio-" + std::to_string(getpid()))).string();
    fs::create_directories(dir + "/home"), mkdir((dir + "/run").c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
    setenv("HOME", (dir + "/home").c_str(), 1);
    setenv("LANG", "C.UTF-8", 1);
    setenv("PULSE_CLIENTCONFIG", (dir + "/client.conf").c_str(), 1);  // none: no server named anywhere
    for (const char* name : {"PULSE_SERVER", "PULSE_SINK", "PULSE_COOKIE", "XDG_CONFIG_HOME", "DISPLAY"}) unsetenv(name);
    GTEST_FLAG_SET(filter, mode == "server" ? "Server.*" : "NoServer.*");
    if (mode == "server") startServer();
    const int rc = RUN_ALL_TESTS();
    if (server > 0) killServer();
    fs::remove_all(dir);
    return rc;
}
