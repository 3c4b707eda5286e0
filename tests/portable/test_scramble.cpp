// Password scrambling: known answers from an independent MD5 (the vectors
// file is written by tests/data/sites/scramble_vectors.py with Python's
// hashlib), both INI forms, the registry form, and refusal of damaged text.
#include "scramble.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Vector {
    std::string user, password, vform, oldForm;
};

std::string FromHex(const std::string &h)
{
    std::string out;
    if (h == "-")
        return out;
    for (size_t i = 0; i + 1 < h.size(); i += 2)
        out += (char)std::stoi(h.substr(i, 2), nullptr, 16);
    return out;
}

std::vector<Vector> LoadVectors()
{
    std::vector<Vector> out;
    std::ifstream in(TESSEL_TEST_DATA "/sites/scramble_vectors.txt");
    std::string u, p, v, o;
    while (in >> u >> p >> v >> o)
        out.push_back({FromHex(u), FromHex(p), v, o == "-" ? "" : o});
    return out;
}

std::string Scramble(const std::string &password, const std::string &digest)
{
    std::vector<char> buf(2 * password.size() + 40);
    size_t n = TesselScrambleIni(password.c_str(), digest.c_str(), buf.data(), buf.size());
    return n ? std::string(buf.data(), n) : std::string("<fail>");
}

std::string Descramble(const std::string &text, size_t size = 256)
{
    std::vector<char> out(size);
    return TesselDescrambleIni(text.c_str(), out.data(), out.size()) ? std::string(out.data()) : "<absent>";
}

} // namespace

TEST(Scramble, IniFormsMatchIndependentVectors)
{
    auto vectors = LoadVectors();
    ASSERT_GE(vectors.size(), 8u);
    for (const auto &v : vectors) {
        SCOPED_TRACE(v.vform);
        // The digest text is in the stored form; scrambling with it must
        // reproduce the rest exactly.
        std::string digest = v.vform.substr(1, 32);
        EXPECT_EQ(Scramble(v.password, digest), v.vform);
        std::vector<char> old(2 * v.password.size() + 1);
        TesselScrambleIniOld(v.password.c_str(), old.data(), old.size());
        EXPECT_EQ(std::string(old.data()), v.oldForm);
        if (v.password.empty()) {
            EXPECT_EQ(Descramble(v.vform), "<absent>");
            continue;
        }
        EXPECT_EQ(Descramble(v.vform), v.password);
        EXPECT_EQ(Descramble(v.oldForm), v.password);
        // The digest must not matter for reading: the user id plays no part.
        std::string expect = Scramble(v.password, "0123456789ABCDEF0123456789ABCDEF");
        EXPECT_EQ(Descramble(expect), v.password);
    }
}

TEST(Scramble, DigestInputIsUserPasswordSuffix)
{
    char buf[64];
    EXPECT_EQ(TesselScrambleDigestInput("bob", "pw", buf, sizeof buf), 11u);
    EXPECT_STREQ(buf, "bobpw%4!x!7");
    EXPECT_EQ(TesselScrambleDigestInput("bob", "pw", buf, 11), 0u);
}

TEST(Scramble, DamagedIniTextCountsAsAbsent)
{
    const std::string good = Scramble("secret", "EA1355C51D5BE2D42831AC1411405374");
    ASSERT_EQ(Descramble(good), "secret");
    EXPECT_EQ(Descramble(""), "<absent>");
    EXPECT_EQ(Descramble("V"), "<absent>");
    EXPECT_EQ(Descramble(good.substr(0, 20)), "<absent>");             // short
    EXPECT_EQ(Descramble(good.substr(0, good.size() - 1)), "<absent>"); // odd length
    EXPECT_EQ(Descramble(good.substr(0, 33) + "7G"), "<absent>");      // not hex
    EXPECT_EQ(Descramble("X" + good.substr(1)), "<absent>");           // wrong prefix
    EXPECT_EQ(Descramble("v" + good.substr(1)), "<absent>");
    std::string badDigest = good;
    badDigest[5] = 'Z';
    EXPECT_EQ(Descramble(badDigest), "<absent>");
    EXPECT_EQ(Descramble("00"), "<absent>"); // decodes to a zero character
    EXPECT_EQ(Descramble("7366"), "se");
    EXPECT_EQ(Descramble("7366", 3), "se");
    EXPECT_EQ(Descramble("7366", 2), "<absent>"); // would not fit: never cut
    // Lower-case digits are still hex.
    EXPECT_EQ(Descramble("736a"), "si");
}

TEST(Scramble, RegistryFormShiftsBySix)
{
    unsigned char data[8];
    ASSERT_EQ(TesselScrambleReg("ab\x05", data, sizeof data), 4u);
    EXPECT_EQ(data[0], 'a' - 6);
    EXPECT_EQ(data[1], 'b' - 6);
    EXPECT_EQ(data[2], 0xFF); // wraps
    EXPECT_EQ(data[3], 0);
    char out[8];
    ASSERT_EQ(TesselDescrambleReg(data, 4, out, sizeof out), 1);
    EXPECT_STREQ(out, "ab\x05");
    EXPECT_EQ(TesselScrambleReg("abcdefgh", data, sizeof data), 0u);
    EXPECT_EQ(TesselDescrambleReg(data, 0, out, sizeof out), 0);
    EXPECT_EQ(TesselDescrambleReg(data, 9, out, sizeof out), 0); // would not fit
    EXPECT_STREQ(out, "");

    std::string p255(255, 'x');
    unsigned char big[256];
    EXPECT_EQ(TesselScrambleReg(p255.c_str(), big, sizeof big), 256u);
    char back[256];
    ASSERT_EQ(TesselDescrambleReg(big, 256, back, sizeof back), 1);
    EXPECT_EQ(std::string(back), p255);
}

TEST(Scramble, RandomPasswordsRoundTrip)
{
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> len(1, 255), byte(1, 255), hex(0, 15);
    for (int round = 0; round < 500; round++) {
        std::string pw;
        for (int i = len(rng); i > 0; i--)
            pw += (char)byte(rng);
        std::string digest;
        for (int i = 0; i < 32; i++)
            digest += "0123456789ABCDEF"[hex(rng)];
        ASSERT_EQ(Descramble(Scramble(pw, digest)), pw);
        std::vector<char> old(2 * pw.size() + 1);
        ASSERT_NE(TesselScrambleIniOld(pw.c_str(), old.data(), old.size()), 0u);
        ASSERT_EQ(Descramble(old.data()), pw);
        unsigned char reg[256];
        size_t n = TesselScrambleReg(pw.c_str(), reg, sizeof reg);
        char back[256];
        ASSERT_EQ(TesselDescrambleReg(reg, n, back, sizeof back), 1);
        ASSERT_EQ(std::string(back), pw);
    }
}
