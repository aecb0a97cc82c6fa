// gen_e_wav FILE: writes the about window's sound, a short bell-like chime on E (about 0.7 s,
// 16-bit PCM, mono, 22050 Hz).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/tool_arguments.h"

namespace {

void le16(std::string& s, std::uint32_t v) {
    s += char(v & 0xff);
    s += char((v >> 8) & 0xff);
}
void le32(std::string& s, std::uint32_t v) {
    le16(s, v & 0xffff);
    le16(s, v >> 16);
}

}  // namespace

int main(int argc, char** argv) {
    int code = -1;
    const std::string path = outputFileArgument(
        argc, argv,
        "Usage: gen_e_wav [FILE]\n"
        "Writes the About window's chime, a short WAV file, to FILE (default: e.wav).\n",
        "e.wav", code);
    if (code >= 0) return code;
    constexpr int kRate = 22050;
    constexpr double kSeconds = 0.7;
    constexpr double kPi = 3.14159265358979;
    const int samples = int(kRate * kSeconds);

    // E5 and E6 with a soft fifth above, each dying away at its own pace, like a small bell.
    struct Partial {
        double hz, level, decay;
    } partials[] = {{659.26, 0.55, 5.0}, {1318.51, 0.25, 8.0}, {1975.53, 0.12, 11.0}};

    std::string pcm;
    for (int i = 0; i < samples; ++i) {
        double t = double(i) / kRate;
        double attack = std::min(1.0, t / 0.004);
        double release = std::min(1.0, (kSeconds - t) / 0.05);  // no click at the end
        double v = 0;
        for (const Partial& p : partials)
            v += p.level * std::exp(-p.decay * t) * std::sin(2 * kPi * p.hz * t);
        long s = std::lround(v * attack * release * 0.8 * 32767);
        s = std::clamp(s, -32767L, 32767L);
        le16(pcm, std::uint32_t(std::int16_t(s)) & 0xffff);
    }

    std::string wav = "RIFF";
    le32(wav, std::uint32_t(36 + pcm.size()));
    wav += "WAVEfmt ";
    le32(wav, 16);
    le16(wav, 1);  // PCM
    le16(wav, 1);  // mono
    le32(wav, kRate);
    le32(wav, kRate * 2);
    le16(wav, 2);
    le16(wav, 16);
    wav += "data";
    le32(wav, std::uint32_t(pcm.size()));
    wav += pcm;

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << wav;
    out.close();
    if (!out) {
        std::cerr << "gen_e_wav: cannot write " << path << "\n";
        return 1;
    }
    return 0;
}
