// make_assets sounds: composes and synthesises the game's four sounds and writes
// open.wav, game.wav, danger.wav and bom.wav into the folder named on the command line.
//
// All synthesis is integer arithmetic (no libm, no floating point), so the
// bytes are identical on every machine and compiler; the asset test
// regenerates the files and compares them with assets/ byte for byte.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "make_assets.h"

namespace {

constexpr int64_t kRate = 22050;  // mono, 16-bit: small files, plenty for chip sounds
constexpr int64_t kPeak = 29204;  // -1 dBFS

using Buf = std::vector<int32_t>;

// ---------------------------------------------------------------- basics

// xorshift32: our own noise so it never depends on a library's generator.
struct Noise {
  uint32_t s;
  explicit Noise(uint32_t seed) : s(seed) {}
  int32_t next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return static_cast<int32_t>(s >> 16) - 32768;
  }
};

// C9..B9 in millihertz (A4 = 440 Hz); lower octaves are exact halvings.
constexpr uint64_t kTopOctave[12] = {8372018,  8869844,  9397273,  9956063,
                                     10548082, 11175303, 11839822, 12543854,
                                     13289750, 14080000, 14917240, 15804266};

// Phase increment (2^32 = one cycle per sample) for a frequency in mHz.
uint32_t incFromMilliHz(int64_t mhz) {
  return static_cast<uint32_t>((static_cast<uint64_t>(mhz) << 32) / (kRate * 1000));
}

uint32_t noteInc(int midi) {
  const uint64_t top = (kTopOctave[midi % 12] << 32) / (kRate * 1000);
  const int shift = 10 - midi / 12;  // MIDI 120..131 is the stored octave
  const uint64_t half = shift > 0 ? (1ull << (shift - 1)) : 0;
  return static_cast<uint32_t>((top + half) >> shift);
}

int64_t roundDiv(int64_t a, int64_t b) {  // b > 0; halves away from zero
  return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

uint64_t isqrt(uint64_t v) {
  uint64_t r = 0, bit = 1ull << 62;
  while (bit > v) bit >>= 2;
  while (bit != 0) {
    if (v >= r + bit) {
      v -= r + bit;
      r = (r >> 1) + bit;
    } else {
      r >>= 1;
    }
    bit >>= 2;
  }
  return r;
}

// Bhaskara's sine approximation (error < 0.2 %), integers only. Q15 output.
int32_t sine(uint32_t phase) {
  const int64_t h = 65536;
  const int64_t u = (phase & 0x7FFFFFFFu) >> 15;
  const int64_t p = u * (h - u);
  const int64_t v = 16 * p * 32767 / (5 * h * h - 4 * p);
  return static_cast<int32_t>((phase >> 31) != 0 ? -v : v);
}

// Starts at zero going up, so a note never begins with a step.
int32_t triangle(uint32_t phase) {
  int32_t v = static_cast<int32_t>((phase + 0x40000000u) >> 15);  // 0..131071
  if (v >= 65536) v = 131071 - v;
  return v - 32768;
}

// PolyBLEP step correction: rounds the pulse edges so high notes do not alias.
int32_t blep(uint32_t t, uint32_t dt) {
  if (t < dt) {
    const int64_t x = (static_cast<int64_t>(t) << 15) / dt;
    return static_cast<int32_t>(2 * x - ((x * x) >> 15) - 32768);
  }
  if (t > 0xFFFFFFFFu - dt) {
    const int64_t x = (static_cast<int64_t>(t) - 4294967296LL) * 32768 / dt;
    return static_cast<int32_t>(((x * x) >> 15) + 2 * x + 32768);
  }
  return 0;
}

int32_t pulse(uint32_t phase, uint32_t dt, uint32_t duty) {
  int32_t v = phase < duty ? 32767 : -32768;
  return v + blep(phase, dt) - blep(phase - duty, dt);
}

// ---------------------------------------------------------------- notes

enum class Wave { Pulse, Triangle, Sine };

struct Instr {
  Wave wave;
  int duty;         // pulse width, percent
  int attack;       // samples
  int decay;        // samples, time constant from full level toward sustain
  int sustain;      // 0..32768
  int release;      // samples
  int vibDepth;     // peak pitch swing in 1/10000
  int vibRate;      // mHz
  int vibDelay;     // samples before the vibrato fades in
  int cutoff;       // two one-pole low-pass stages, Q16 coefficient
  int volume;       // 0..256
  int gap;          // samples cut off each note so repeated notes re-articulate
};

// Adds one note to a loop buffer; the tail wraps past the end to the start.
void renderNote(Buf& out, int64_t start, int64_t gate, int midi, const Instr& ins,
                int vel = 256) {
  const int64_t n = static_cast<int64_t>(out.size());
  const uint32_t inc = noteInc(midi);
  const uint32_t lfoInc = incFromMilliHz(ins.vibRate);
  const uint32_t duty = static_cast<uint32_t>((static_cast<uint64_t>(ins.duty) << 32) / 100);
  const int64_t dc = ins.wave == Wave::Pulse ? (2 * ins.duty - 100) * 32768 / 100 : 0;
  gate = std::max(gate - ins.gap, gate / 2);
  const int64_t total = gate + ins.release;
  const int64_t vibRamp = kRate / 4;

  uint32_t phase = 0, lfo = 0;
  int64_t fall = int64_t{1} << 24;  // share of (full - sustain) still left
  int64_t held = 0, y1 = 0, y2 = 0;
  for (int64_t i = 0; i < total; ++i) {
    int64_t env;
    if (i < gate) {
      const int64_t level = ins.sustain + (((32768 - ins.sustain) * fall) >> 24);
      if (i < ins.attack) {
        env = level * i / ins.attack;
      } else {
        env = level;
        fall -= fall / ins.decay;
      }
      held = env;
    } else {
      env = held * (total - i) / ins.release;  // linear, lands exactly on zero
    }

    int64_t step = inc;
    if (ins.vibDepth != 0 && i > ins.vibDelay) {
      const int64_t ramp = std::min<int64_t>(32768, (i - ins.vibDelay) * 32768 / vibRamp);
      step += static_cast<int64_t>(inc) * ins.vibDepth / 10000 * triangle(lfo) / 32768 * ramp /
              32768;
      lfo += lfoInc;
    }
    const uint32_t dt = static_cast<uint32_t>(step);

    int64_t x = 0;
    switch (ins.wave) {
      case Wave::Pulse: x = pulse(phase, dt, duty) - dc; break;
      case Wave::Triangle: x = triangle(phase); break;
      case Wave::Sine: x = sine(phase); break;
    }
    phase += dt;

    y1 += ((x - y1) * ins.cutoff) >> 16;
    y2 += ((y1 - y2) * ins.cutoff) >> 16;
    const int64_t s = ((((y2 * env) >> 15) * ins.volume) >> 8) * vel >> 8;
    out[static_cast<size_t>((start + i) % n)] += static_cast<int32_t>(s);
  }
}

// ---------------------------------------------------------------- drums

void kick(Buf& out, int64_t start, int vel) {
  const int64_t n = static_cast<int64_t>(out.size()), len = 5000;
  uint32_t phase = 0;
  int64_t sweep = 115000, amp = int64_t{1} << 24;
  for (int64_t i = 0; i < len; ++i) {
    const int64_t atk = std::min<int64_t>(i, 44);
    const int64_t env = (amp >> 9) * atk / 44 * (len - i) / len;
    const int64_t s = ((sine(phase) * env) >> 15) * vel >> 8;
    out[static_cast<size_t>((start + i) % n)] += static_cast<int32_t>(s);
    phase += incFromMilliHz(45000 + sweep);  // thump falls from 160 Hz to 45 Hz
    sweep -= sweep / 500;
    amp -= amp / 2000;
  }
}

void snare(Buf& out, int64_t start, int vel, Noise& rng) {
  const int64_t n = static_cast<int64_t>(out.size()), len = 4000;
  const uint32_t bodyInc = incFromMilliHz(185000);
  uint32_t phase = 0;
  int64_t lp = 0, namp = int64_t{1} << 24, bamp = int64_t{1} << 24;
  for (int64_t i = 0; i < len; ++i) {
    lp += ((rng.next() - lp) * 40000) >> 16;
    const int64_t atk = std::min<int64_t>(i, 44);
    const int64_t mix = ((lp * (namp >> 9)) >> 15) * 7 / 10 +
                        ((sine(phase) * (bamp >> 9)) >> 15) / 2;
    const int64_t s = mix * atk / 44 * (len - i) / len * vel >> 8;
    out[static_cast<size_t>((start + i) % n)] += static_cast<int32_t>(s);
    phase += bodyInc;
    namp -= namp / 1100;
    bamp -= bamp / 600;
  }
}

// Hi-hat and shaker: high-passed noise; a slower attack makes the shaker soft.
void hat(Buf& out, int64_t start, int vel, Noise& rng, int64_t len, int64_t attack,
         int64_t tau) {
  const int64_t n = static_cast<int64_t>(out.size());
  int64_t lp = 0, amp = int64_t{1} << 24;
  for (int64_t i = 0; i < len; ++i) {
    const int64_t x = rng.next();
    lp += ((x - lp) * 30000) >> 16;
    const int64_t atk = std::min(i, attack);
    const int64_t s = (((x - lp) * (amp >> 9)) >> 15) * atk / attack * (len - i) / len * vel >> 8;
    out[static_cast<size_t>((start + i) % n)] += static_cast<int32_t>(s);
    amp -= amp / tau;
  }
}

// ---------------------------------------------------------------- sequencer

constexpr int kStepsPerBar = 16;  // one token per sixteenth note

struct Event {
  int64_t step;
  int64_t len;
  std::vector<int> notes;
  int bar;
};

int parseNote(const std::string& s) {
  static const int kSemis[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
  if (s.empty() || s[0] < 'A' || s[0] > 'G') return -1;
  int semi = kSemis[s[0] - 'A'];
  size_t i = 1;
  if (i < s.size() && s[i] == '#') semi += 1, ++i;
  else if (i < s.size() && s[i] == 'b') semi -= 1, ++i;
  if (i + 1 != s.size() || s[i] < '0' || s[i] > '8') return -1;
  return (s[i] - '0' + 1) * 12 + semi;
}

// Tokens: a note ("C5", "Bb4", chords as "C4+E4+G4"), "-" holds, "." rests.
std::vector<Event> parseVoice(const std::vector<std::string>& bars) {
  std::vector<Event> evs;
  bool sounding = false;
  for (size_t b = 0; b < bars.size(); ++b) {
    std::istringstream in(bars[b]);
    std::string tok;
    int count = 0;
    while (in >> tok) {
      if (tok == "|") continue;
      const int64_t step = static_cast<int64_t>(b) * kStepsPerBar + count++;
      if (tok == "-") {
        if (!sounding) throw std::runtime_error("hold without a note in bar " + std::to_string(b + 1));
        ++evs.back().len;
        continue;
      }
      sounding = false;
      if (tok == ".") continue;
      Event e{step, 1, {}, static_cast<int>(b)};
      std::istringstream parts(tok);
      std::string p;
      while (std::getline(parts, p, '+')) {
        const int m = parseNote(p);
        if (m < 0) throw std::runtime_error("bad note '" + p + "' in bar " + std::to_string(b + 1));
        e.notes.push_back(m);
      }
      evs.push_back(e);
      sounding = true;
    }
    if (count != kStepsPerBar)
      throw std::runtime_error("bar " + std::to_string(b + 1) + " has " + std::to_string(count) +
                               " steps");
  }
  return evs;
}

void renderVoice(Buf& out, const std::vector<Event>& evs, int64_t stepLen,
                 const std::vector<const Instr*>& instrPerBar, int vel = 256) {
  for (const Event& e : evs)
    for (int m : e.notes)
      renderNote(out, e.step * stepLen, e.len * stepLen, m, *instrPerBar[e.bar], vel);
}

// Chord tones of e.g. "F", "Am", "G7", "Bb", each placed in [low, low + 12).
std::vector<int> chordTones(const std::string& name, int low) {
  int root = parseNote(name.substr(0, name.size() > 1 && (name[1] == '#' || name[1] == 'b') ? 2 : 1) + "4");
  if (root < 0) throw std::runtime_error("bad chord " + name);
  const bool minor = name.find('m') != std::string::npos;
  const bool seventh = name.find('7') != std::string::npos;
  std::vector<int> ivs = {0, minor ? 3 : 4, 7};
  if (seventh) ivs.push_back(10);
  std::vector<int> tones;
  for (int iv : ivs) {
    int pc = (root + iv) % 12;
    int m = low + ((pc - low % 12) + 12) % 12;
    tones.push_back(m);
  }
  std::sort(tones.begin(), tones.end());
  return tones;
}

// Accompaniment from one chord per half bar. Styles per bar:
// 'S' off-beat stabs, 'A' rising sixteenth arpeggio, 'M' music-box eighths,
// 'P' held pad, '.' silent.
std::vector<Event> accompaniment(const std::vector<std::string>& halfBarChords,
                                 const std::string& styles, int low) {
  std::vector<Event> evs;
  for (size_t h = 0; h < halfBarChords.size(); ++h) {
    const int bar = static_cast<int>(h / 2);
    const char style = styles[static_cast<size_t>(bar)];
    const std::vector<int> t = chordTones(halfBarChords[h], low);
    const int64_t base = static_cast<int64_t>(h) * 8;
    const int top = t[0] + 12;
    switch (style) {
      case 'S':
        evs.push_back({base + 2, 1, t, bar});
        evs.push_back({base + 6, 1, t, bar});
        break;
      case 'A': {
        const int seq[8] = {t[0], t[1], t[2], top, t[2], t[1], t[2], top};
        for (int k = 0; k < 8; ++k) evs.push_back({base + k, 1, {seq[k]}, bar});
        break;
      }
      case 'M': {
        const int seq[4] = {t[0], t[2], top, t[1]};
        for (int k = 0; k < 4; ++k) evs.push_back({base + 2 * k, 2, {seq[k]}, bar});
        break;
      }
      case 'P': evs.push_back({base, 8, t, bar}); break;
      default: break;
    }
  }
  return evs;
}

// Drum lane: one char per sixteenth, 'x' hit, 'o' soft hit, '.' nothing.
template <typename Hit>
void drumLane(const std::vector<std::string>& bars, int64_t stepLen, Hit hit) {
  for (size_t b = 0; b < bars.size(); ++b) {
    int count = 0;
    for (char c : bars[b]) {
      if (c == ' ') continue;
      const int64_t at = (static_cast<int64_t>(b) * kStepsPerBar + count++) * stepLen;
      if (c == 'x') hit(at, 256);
      else if (c == 'o') hit(at, 150);
      else if (c != '.') throw std::runtime_error("bad drum char in bar " + std::to_string(b + 1));
    }
    if (count != kStepsPerBar) throw std::runtime_error("drum bar " + std::to_string(b + 1));
  }
}

// Quiet repeats of the lead: an echo fills the space between phrases.
void addWithEcho(Buf& mix, const Buf& dry, int64_t delay, int g1, int g2) {
  const int64_t n = static_cast<int64_t>(mix.size());
  for (int64_t i = 0; i < n; ++i) {
    const int64_t a = dry[static_cast<size_t>((i - delay + n) % n)];
    const int64_t b = dry[static_cast<size_t>((i - 2 * delay + 2 * n) % n)];
    mix[static_cast<size_t>(i)] += static_cast<int32_t>(dry[static_cast<size_t>(i)] + a * g1 / 256 + b * g2 / 256);
  }
}

std::vector<const Instr*> same(const Instr& ins, size_t bars) {
  return std::vector<const Instr*>(bars, &ins);
}

// ---------------------------------------------------------------- title music
// F major, about 100 BPM, 8 bars: a (1-2) a' (3-4) b (5-6) cadence (7-8).
// A warm square lead with echo over a music-box arpeggio and a soft shaker.

Buf makeOpen() {
  const int64_t stepLen = 3300;  // sixteenth at 100.2 BPM; whole samples so bars are exact
  const size_t bars = 8;
  const int64_t n = static_cast<int64_t>(bars) * kStepsPerBar * stepLen;
  Buf mix(static_cast<size_t>(n), 0), lead(static_cast<size_t>(n), 0);
  Noise rng(0x5EED0001u);

  const std::vector<std::string> melody = {
      "C6 - - - A5 - F5 - | E5 - - - A5 - C6 -",      // F | Am
      "D6 - - - - - C6 - | G5 - - - - - - -",         // Bb | C
      "C6 - - - A5 - F5 - | E5 - - - A5 - C6 -",      // F | Am
      "D6 - E6 - F6 - D6 - | C6 - - - - - - -",       // Dm | C
      "D5 - F5 - Bb5 - - - | C5 - E5 - G5 - - -",     // Bb | C
      "A5 - C6 - E6 - - - | D6 - C6 - A5 - - -",      // Am | Dm
      "Bb5 - - - A5 - G5 - | E5 - G5 - Bb5 - - -",    // Gm | C7
      "A5 - - - - - G5 - | F5 - - - - - - -",         // F
  };
  const std::vector<std::string> bass = {
      "F2 - - - C3 - - - | A2 - - - E3 - - -",
      "Bb2 - - - F3 - - - | C3 - - - G2 - - -",
      "F2 - - - C3 - - - | A2 - - - E3 - - -",
      "D3 - - - A2 - - - | C3 - - - G2 - - -",
      "Bb2 - - - F2 - - - | C3 - - - G2 - - -",
      "A2 - - - E2 - - - | D3 - - - A2 - - -",
      "G2 - - - D3 - - - | C3 - - - G2 - - -",
      "F2 - - - C3 - - - | F2 - - - A2 - G2 -",
  };
  const std::vector<std::string> chords = {"F", "Am", "Bb", "C", "F",  "Am", "Dm", "C",
                                           "Bb", "C", "Am", "Dm", "Gm", "C7", "F",  "F"};

  const Instr leadI{Wave::Pulse, 50, 265, 9000, 20000, 1800, 50, 5200, 4000, 33000, 190, 300};
  const Instr bassI{Wave::Triangle, 0, 110, 6000, 18000, 1300, 0, 0, 0, 65536, 240, 300};
  const Instr boxI{Wave::Triangle, 0, 66, 5000, 0, 2200, 0, 0, 0, 65536, 80, 0};
  const Instr padI{Wave::Pulse, 25, 4000, 30000, 26000, 3000, 30, 4300, 2000, 14000, 26, 0};

  renderVoice(lead, parseVoice(melody), stepLen, same(leadI, bars));
  addWithEcho(mix, lead, 3 * stepLen, 64, 24);
  renderVoice(mix, parseVoice(bass), stepLen, same(bassI, bars));
  renderVoice(mix, accompaniment(chords, "MMMMMMMM", 65), stepLen, same(boxI, bars));
  renderVoice(mix, accompaniment(chords, "....PPPP", 53), stepLen, same(padI, bars));

  const std::string none = "................", shake = "..x...x...x...x.";
  drumLane({shake, shake, shake, shake, shake, shake, shake, shake}, stepLen,
           [&](int64_t at, int v) { hat(mix, at, v * 3 / 10, rng, 2600, 220, 900); });
  const std::string k = "o.......o.......";
  drumLane({none, none, k, k, k, k, k, k}, stepLen,
           [&](int64_t at, int v) { kick(mix, at, v * 7 / 10); });
  const std::string s4 = "............o...", s24 = "....o.......o...";
  drumLane({none, none, none, s4, s24, s24, s24, s4}, stepLen,
           [&](int64_t at, int v) { snare(mix, at, v * 4 / 10, rng); });
  return mix;
}

// ---------------------------------------------------------------- game music
// C major, 150 BPM, 16 bars: A (1-4) A' (5-8) B (9-12) A'' (13-16).
// Bouncy 25 % pulse lead, octave-jumping bass, chord stabs and arpeggios, drums.

Buf makeGame() {
  const int64_t stepLen = 2205;  // sixteenth at exactly 150 BPM
  const size_t bars = 16;
  const int64_t n = static_cast<int64_t>(bars) * kStepsPerBar * stepLen;
  Buf mix(static_cast<size_t>(n), 0), lead(static_cast<size_t>(n), 0);
  Noise rng(0x5EED0002u);

  const std::string a1 = "E5 - G5 - | C6 - - - | B5 - C6 - | G5 - - -";   // C
  const std::string a2 = "A5 - - G5 | E5 - C5 - | E5 - A5 - | G5 - E5 -";  // Am
  const std::vector<std::string> melody = {
      a1, a2,
      "F5 - A5 - | C6 - A5 - | G5 - F5 - | A5 - - -",   // F
      "G5 - - - | D5 - G5 - | B5 - - A5 | G5 - D5 -",   // G
      "E5 - G5 - | C6 - - - | B5 - C6 - | D6 - - -",    // C
      "E6 - - D6 | C6 - A5 - | G5 - A5 - | E5 - - -",   // Am
      "F5 - A5 - | C6 - A5 - | B5 - D6 - | B5 - G5 -",  // F G
      "C6 - - - | G5 - E5 - | C5 - - - | . . . .",      // C
      "A5 - - - | C6 - - A5 | - - F5 - | G5 - A5 -",    // F
      "B5 - - - | D6 - - B5 | - - G5 - | A5 - B5 -",    // G
      "B5 - G5 - | E5 - G5 - | A5 - C6 - | E6 - - -",   // Em Am
      "D6 - C6 - | A5 - F5 - | G5 - - - | D5 - F5 -",   // Dm G7
      a1, a2,
      "F5 - A5 - | C6 - F6 - | D6 - - B5 | G5 - B5 -",  // F G7
      "C6 - - - | - - - - | G5 - E5 - | D5 - - -",      // C
  };
  const std::string bc = "C3 - C4 . | C3 - C4 . | C3 - C4 . | C3 - B2 .";
  const std::string bam = "A2 - A3 . | A2 - A3 . | A2 - A3 . | A2 - G2 .";
  const std::string bfg = "F2 - F3 . | F2 - F3 . | G2 - G3 . | G2 - B2 .";
  const std::vector<std::string> bass = {
      bc, bam,
      "F2 - F3 . | F2 - F3 . | F2 - F3 . | F2 - A2 .",
      "G2 - G3 . | G2 - G3 . | G2 - G3 . | G2 - B2 .",
      bc, bam, bfg,
      "C3 - C4 . | C3 - C4 . | C3 - . . | G2 - E2 .",
      "F2 - C3 - | F3 - C3 - | F2 - C3 - | F3 - C3 -",
      "G2 - D3 - | G3 - D3 - | G2 - D3 - | G3 - D3 -",
      "E2 - B2 - | E3 - B2 - | A2 - E3 - | A3 - E3 -",
      "D3 - A2 - | D3 - A2 - | G2 - D3 - | G2 - B2 -",
      bc, bam, bfg,
      "C3 - C4 . | C3 - C4 . | C3 - C4 . | G2 - B2 .",
  };
  const std::vector<std::string> chords = {
      "C", "C", "Am", "Am", "F", "F", "G",  "G",  "C", "C", "Am", "Am", "F", "G",  "C", "C",
      "F", "F", "G",  "G",  "Em", "Am", "Dm", "G7", "C", "C", "Am", "Am", "F", "G7", "C", "C"};

  const Instr leadA{Wave::Pulse, 25, 110, 5500, 18000, 1100, 40, 6000, 4000, 47000, 170, 250};
  // The B part switches to a rounder square so the middle of the loop sounds different.
  const Instr leadB{Wave::Pulse, 50, 110, 7000, 20000, 1100, 45, 5500, 3000, 38000, 170, 250};
  const Instr bassI{Wave::Triangle, 0, 88, 3300, 16000, 660, 0, 0, 0, 65536, 250, 200};
  const Instr stabI{Wave::Pulse, 50, 66, 1300, 6000, 880, 0, 0, 0, 36000, 34, 0};
  const Instr arpI{Wave::Pulse, 12, 44, 900, 3000, 660, 0, 0, 0, 40000, 40, 0};

  std::vector<const Instr*> leadPerBar = same(leadA, bars);
  for (size_t b = 8; b < 12; ++b) leadPerBar[b] = &leadB;
  renderVoice(lead, parseVoice(melody), stepLen, leadPerBar);
  addWithEcho(mix, lead, 3 * stepLen, 56, 20);
  renderVoice(mix, parseVoice(bass), stepLen, same(bassI, bars));
  renderVoice(mix, accompaniment(chords, "SSSSSSSS....SSSS", 60), stepLen, same(stabI, bars));
  renderVoice(mix, accompaniment(chords, "....AAAAAAAAAAAA", 67), stepLen, same(arpI, bars));

  const std::string kA = "x.......x.......", kB = "x.....x.x.......";
  const std::string sN = "....x.......x...", sF1 = "....x.......x.xx", sF2 = "....x.....o.xxxx";
  const std::string h8 = "x.x.x.x.x.x.x.x.", h16 = "xoxoxoxoxoxoxoxo";
  drumLane({kA, kA, kA, kA, kA, kA, kA, kA, kB, kB, kB, kB, kA, kA, kA, kA}, stepLen,
           [&](int64_t at, int v) { kick(mix, at, v * 85 / 100); });
  drumLane({sN, sN, sN, sN, sN, sN, sN, sF1, sN, sN, sN, sF1, sN, sN, sN, sF2}, stepLen,
           [&](int64_t at, int v) { snare(mix, at, v * 45 / 100, rng); });
  drumLane({h8, h8, h8, h8, h8, h8, h8, h8, h16, h16, h16, h16, h8, h8, h8, h8}, stepLen,
           [&](int64_t at, int v) { hat(mix, at, v * 22 / 100, rng, 1300, 22, 300); });
  return mix;
}

// ---------------------------------------------------------------- alarm
// A two-tone "pee-poh" warning, A5 / E5, eight beeps in 1.28 s with a fast
// warble. Every beep ends before the loop does, so the seam sits in silence.

Buf makeDanger() {
  const int64_t slot = 3528;  // 0.16 s
  const int64_t n = 8 * slot;
  Buf mix(static_cast<size_t>(n), 0);
  const Instr top{Wave::Pulse, 25, 150, 20000, 26000, 450, 120, 14000, 0, 30000, 200, 0};
  const Instr body{Wave::Triangle, 0, 150, 20000, 26000, 450, 120, 14000, 0, 65536, 170, 0};
  for (int64_t k = 0; k < 8; ++k) {
    const int midi = k % 2 == 0 ? 81 : 76;  // A5, E5
    renderNote(mix, k * slot + 80, 2350, midi, top);
    renderNote(mix, k * slot + 80, 2350, midi - 12, body);
  }
  return mix;
}

// ---------------------------------------------------------------- explosion
// One second: a bright crack that darkens into crunchy held-sample noise,
// over a falling low thump. Fades to exact silence at the last sample.

Buf makeBom() {
  const int64_t len = 22050;
  Buf out(static_cast<size_t>(len), 0);
  Noise rng(0x5EED0004u);
  int64_t held = 0, lp1 = 0, lp2 = 0, hold = 0;
  int64_t namp = int64_t{1} << 24, ramp = int64_t{1} << 24, sweep = 80000;
  uint32_t phase = 0;
  for (int64_t i = 0; i < len; ++i) {
    // Sample-and-hold noise whose hold grows: the rumble gets coarser and lower.
    if (hold-- <= 0) {
      held = rng.next();
      hold = i * 20 / len;
    }
    const int64_t left = len - i;
    const int64_t k = 2500 + 50000 * left / len * left / len;  // filter closes over time
    lp1 += ((held - lp1) * k) >> 16;
    lp2 += ((lp1 - lp2) * k) >> 16;
    const int64_t atk = std::min<int64_t>(i, 66);
    const int64_t fade = left * left / len;  // quadratic to zero at the end
    const int64_t noise = ((lp2 * (namp >> 9)) >> 15) * atk / 66 * fade / len;
    const int64_t thump = ((sine(phase) * (ramp >> 9)) >> 15) * atk / 66 * fade / len;
    out[static_cast<size_t>(i)] = static_cast<int32_t>(noise + thump * 9 / 10);
    phase += incFromMilliHz(36000 + sweep);
    sweep -= sweep / 2500;
    namp -= namp / 5500;
    ramp -= ramp / 7000;
  }
  return out;
}

// ---------------------------------------------------------------- output

struct Stats {
  int64_t peak;
  int64_t rms;
};

Stats measure(const Buf& b) {
  int64_t peak = 0;
  uint64_t sum = 0;
  for (int32_t v : b) {
    const int64_t a = v < 0 ? -static_cast<int64_t>(v) : v;
    peak = std::max(peak, a);
    sum += static_cast<uint64_t>(a * a);
  }
  return {peak, static_cast<int64_t>(isqrt(sum / b.size()))};
}

std::vector<int16_t> scale(const Buf& b, int64_t num, int64_t den) {
  std::vector<int16_t> out;
  out.reserve(b.size());
  for (int32_t v : b) {
    const int64_t s = std::clamp<int64_t>(roundDiv(v * num, den), -kPeak, kPeak);
    out.push_back(static_cast<int16_t>(s));
  }
  return out;
}

void writeWav(const std::filesystem::path& path, const std::vector<int16_t>& pcm) {
  std::string d;
  auto u16 = [&](uint32_t v) {
    d += static_cast<char>(v & 0xFF);
    d += static_cast<char>((v >> 8) & 0xFF);
  };
  auto u32 = [&](uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  const uint32_t bytes = static_cast<uint32_t>(pcm.size() * 2);
  d += "RIFF";
  u32(36 + bytes);
  d += "WAVEfmt ";
  u32(16);
  u16(1);  // PCM
  u16(1);  // mono
  u32(static_cast<uint32_t>(kRate));
  u32(static_cast<uint32_t>(kRate * 2));
  u16(2);
  u16(16);
  d += "data";
  u32(bytes);
  for (int16_t s : pcm) u16(static_cast<uint16_t>(s));
  std::ofstream f(path, std::ios::binary);
  f.write(d.data(), static_cast<std::streamsize>(d.size()));
  if (!f) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int makeSounds(const std::filesystem::path& dir) {
  try {
    std::filesystem::create_directories(dir);

    const Buf open = makeOpen(), game = makeGame(), danger = makeDanger(), bom = makeBom();

    // The loops share one RMS level so switching between them keeps the
    // volume; the alarm sits 1 dB under it because its energy is all in the
    // range the ear hears best. The level is the highest one that keeps
    // every peak at -1 dBFS.
    struct Loop {
      const char* name;
      const Buf* buf;
      int64_t trim;  // permille of the shared RMS
      Stats st;
    };
    Loop loops[3] = {{"open.wav", &open, 1000, measure(open)},
                     {"game.wav", &game, 1000, measure(game)},
                     {"danger.wav", &danger, 891, measure(danger)}};
    int64_t target = kPeak;
    for (const Loop& l : loops)
      target = std::min(target, kPeak * l.st.rms * 1000 / (l.st.peak * l.trim));
    for (const Loop& l : loops)
      writeWav(dir / l.name, scale(*l.buf, target * l.trim, l.st.rms * 1000));

    // The explosion is a one-off: simply as loud as the peak allows.
    writeWav(dir / "bom.wav", scale(bom, kPeak, measure(bom).peak));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_assets: %s\n", e.what());
    return 1;
  }
  return 0;
}
