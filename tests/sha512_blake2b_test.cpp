// SHA-512 and BLAKE2b (its full length, and the shorter ones b2sum -l
// writes) by their results: one table of reference digests, which every
// loop this processor runs must reproduce however the same bytes are fed,
// the processor's choice of loops, and messages past 4 GiB.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "digest/lanes.h"
#include "tests/kernels_covered.h"
#include "tests/processor.h"
#include "tests/side_by_side.h"
#include "tests/wide_digests.h"

// The message is the pattern repeated up to length bytes; no pattern means
// zero bytes. Digests from sha512sum, b2sum, b2sum -l 256 and b2sum -l 8, in
// WideDigests' order: every block boundary of the first three blocks, and
// either side of where SHA-512's padding takes a second block (112 bytes).
struct WideReference {
    const char *pattern;
    uint64_t length;
    const char *digests[WideDigestCount];
};

static const WideReference WideReferences[] = {
    {nullptr,
     0,
     {"cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877e"
      "ec2f63b931bd47417a81a538327af927da3e",
      "786a02f742015903c6c6fd852552d272912f4740e15847618a86e217f71f5419d25e1031afee585313896444934e"
      "b04b903a685b1448b755d56f701afe9be2ce",
      "0e5751c026e543b2e8ab2eb06099daa1d1e5df47778f7787faab45cdf12fe3a8", "2e"}},
    {"a",
     1,
     {"1f40fc92da241694750979ee6cf582f2d5d7d28e18335de05abc54d0560e0f5302860c652bf08d560252aa5e7421"
      "0546f369fbbbce8c12cfc7957b2652fe9a75",
      "333fcb4ee1aa7c115355ec66ceac917c8bfd815bf7587d325aec1864edd24e34d5abe2c6b1b5ee3face62fed78db"
      "ef802f2a85cb91d455a8f5249d330853cb3c",
      "8928aae63c84d87ea098564d1e03ad813f107add474e56aedd286349c0c03ea4", "de"}},
    {"abc",
     3,
     {"ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3fe"
      "ebbd454d4423643ce80e2a9ac94fa54ca49f",
      "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d17d87c5392aab792dc252d5de4533"
      "cc9518d38aa8dbf1925ab92386edd4009923",
      "bddd813c634239723171ef3fee98579b94964e3bb1cb3e427262c8c068d52319", "6b"}},
    {"a",
     111,
     {"fa9121c7b32b9e01733d034cfc78cbf67f926c7ed83e82200ef86818196921760b4beff48404df811b9538282744"
      "61673c68d04e297b0eb7b2b4d60fc6b566a2",
      "4b7f5437a69577c9136df89878e35f91b8a18d16d424b998765d6b94cea4d5ef4df470f34641cfe452d7551215da"
      "3a3541e5f5fe6359ab4629888136a3abf900",
      "5c43f78e8939450c07f86ef9dcff93aaed756c5948d7a3c351c22352bc0c6521", "7e"}},
    {"a",
     112,
     {"c01d080efd492776a1c43bd23dd99d0a2e626d481e16782e75d54c2503b5dc32bd05f0f1ba33e568b88fd2d97092"
      "9b719ecbb152f58f130a407c8830604b70ca",
      "e1201705a397d6ef5ccdad804976df1fb38d8a3d058415f39213829fd1e3e6a34a0182fbba7ecce7e4a664a3f847"
      "e870a6821267d318791b59809758614ccf7b",
      "210a30a289a75571644523c15eb64acebad1ff2594c64c6148ca57cbbbc45fee", "52"}},
    {"a",
     127,
     {"828613968b501dc00a97e08c73b118aa8876c26b8aac93df128502ab360f91bab50a51e088769a5c1eff4782ace1"
      "47dce3642554199876374291f5d921629502",
      "94596b9d6199c807c40ae1a935f3633ba5a8dd5655f7f1bd44f5285b1ce8dbb0054771eba409539df85a963296d2"
      "8788807105153c90fa3ec3d761228e90f8b8",
      "59e2f1aba240f20aa591016f5ef429990bc9c2131dcd0d30f0ffd75ed18f317d", "94"}},
    {"a",
     128,
     {"b73d1929aa615934e61a871596b3f3b33359f42b8175602e89f7e06e5f658a243667807ed300314b95cacdd579f3"
      "e33abdfbe351909519a846d465c59582f321",
      "fc6c71f688f43ea7d60817478808f3cac753e61571865c95adbc2d9122c943a76b92c2cb1047ef3fe7bf6e436ec1"
      "d0a99a9e5b216780bf7fed9d7ca91d3a8f3b",
      "ae2aa48507885c4c950fb809b2076f959cde9f8ea6da260d9a3587df33dac450", "3a"}},
    {"a",
     129,
     {"4f681e0bd53cda4b5a2041cc8a06f2eabde44fb16c951fbd5b87702f07aeab611565b19c47fde30587177ebb852e"
      "3971bbd8d3fd30da18d71037dfbd98420429",
      "55e6e0eb418149a8af92fd9ddc99254781b2f522a131b4f4d984404b71a00e1167b8124d5dcddd4c6977b2993923"
      "35d6edd303da6d344d74bbef2d38101b232b",
      "2f64744a6de0d2c0b56e64cf6e29a5aaa255010d415d51c75ccc82f73dccd865", "cb"}},
    {"a",
     239,
     {"52c853cb8d907f3d4d6b889beb027985d7c273486d75f8baf26f80d24e90c74c6c3de3e22131582380a7d14d43f2"
      "941a31385439cd6ddc469f628015e50bf286",
      "6f48651fbd69813ee2daf7eb79bc2f334244b1816e17b1e5ba77cb31c24479707d66a7c760478382ace3a3b8628b"
      "c1bb83cf55d06bc7f99bd87d74e33920f8ec",
      "d27054f04f9a44af5fef6c528e38e7e69341d66192cb782aeefdbb543ac13ce6", "16"}},
    {"a",
     240,
     {"4c296d90c61052a62ffb1dd196f1b7b09373b1f93e71836baebf89690546b7595684dbe9467a8e484fa0d1094272"
      "b4344a7c24f5fee8daedeb0bf549c985ab5f",
      "15fafe0d8746abd4d12972f87ed0d0d2cc86d98c7a11c40e62a9736b44bbd4032462f7e89ffade454674678894f0"
      "a426dee8bcfcb549d29503967f31202fae41",
      "ed40e440d262c5b24c643a51372b08611b961bd7e6bdf2663ee07592302860ed", "c4"}},
    {"a",
     255,
     {"d8b5a659e365f704ab114ae7079a8da24fb9997b3052a4a63b37d654652bad6fbdd2b52d737e20a9d5ac3c5831d6"
      "afdd32ff737a3dd95269d2793bc2aa850aab",
      "792ea4793169359d36f13f472d4b427b40c663c680f47932a0cf3a110e6d84305f46825da8ada4d83a6247bb09fb"
      "3bb1b5781186a81b2aff8c9c39a597e447dd",
      "177ec7b22a982dd81ec80e0f8fd488bb347952a0876fed488191b6dede62df81", "a4"}},
    {"a",
     256,
     {"6a9169eb662f136d87374070e8828b3e615a7eca32a89446e9225b02832709be095e635c824a2bb70213ba2ea0ab"
      "abac0809827843992c851903b7ac0c136699",
      "0eee13d0c73a2710c5015a8b4be0a16120bb88f826b662951ffe4b3b81441cfdce1f712c58e237dba72a0dad7f9c"
      "86b9745ea0b4b3b850ff3a260fb7df9d3e81",
      "eae4d3a7627549b383179dc18049964f91a6fed14c9f3fb26705eda3eeda5558", "7e"}},
    {"a",
     257,
     {"17fa1d01865805f9e657c5f5088754d19913eb418577b03cd040b99e5e1354fd31d0d7f24b5474c62b49e3271860"
      "859510909685c5811eba23b06e1e3369899d",
      "0d686cbcff66401ab36b8a8e7fcf4085319eb296eaa55c4470c36bccaff2ecd4b3572c32ed48e8bb97cc5d08302a"
      "79b3a26e751feb7f565b19fa0d8f65247dd1",
      "496943de3c8b1458635ee30c15bb26cede6957abdd28f0a860cdaf967116c747", "e1"}},
    {"a",
     383,
     {"2662149cb78f2b54b45e88202770f504e9cb98bf3e585108145ec796b9a30ee0daca52aca98401c0e34493e8b446"
      "1756ab6c8b7469febeaa9c5653a33be824a1",
      "506edd9e3cbc03e05a43e97fc95442601d87cc5ebcb6530c4b1800587e4a30da780da836a6bae7574f968aebfe49"
      "2e693160a9d3b7d75b3bae69ebe08c03f289",
      "622c0150b87dec2130eed558dc27204a28d749d0aaefc9f5348e60671ad7fbe5", "82"}},
    {"a",
     384,
     {"fd3b99c98d769126876f1f41455865ba2c1754cdafc2c0b2a8f829c278e5717a1234d1d0645899d1c531eedbee56"
      "8a169a700ad896242b44971adcd1af6c6596",
      "74d33423a75263665e54a92b0ed34eddb9210cc661a4fa9db479fa05b7a3a4c24777213995f49b6a9429b266d5ba"
      "21756dba83207102ce38845dd1c2c3435059",
      "9c8b40a56181f5f5ea06d1a1a48da5b7842717c921300d22b41475571842c1d1", "31"}},
    {"a",
     385,
     {"15b12539b658103386cf40751e1b509c51ac11803c2d3e4442d2fadf43846811caf1069582c5de9d0334c6067ba3"
      "31487426f99005c51682727948cc838283f2",
      "e865d8e994d3f020fb0bb572ae96230f17dd144626d8f56734a88e80c007c2e2ec1f729147114fa3cfd123d23996"
      "4956521e794c398c72d7e20cbe2c92a28830",
      "569b821f460745a36e1233b2c57416830d22aa0e5316e0907e7bfaa85e144ec1", "e9"}},
    {"The quick brown fox jumps over the lazy dog",
     65553,
     {"c4fc46bbd358b6ed467d1d45a12f81f0f838fdf53953679ff84f157e1bebe1bd50f0f13e3c14ffaa138b5ea0b036"
      "05e528d00208bb6f4e3f31ff6a352bd9e4b0",
      "6f48bde0d779ebc90f3b3ce99f0a0ceab5735d049c58d5332828050bec1b34ff893f02095a3b1ff1be8464b1ec09"
      "962c0005e412e0c3bb14060ef3855d023294",
      "92e32a3e4199239666cf05f4ce48400fac86a86e7fab19fee887535d1db95175", "68"}},
};

static std::string Message(const WideReference &reference) {
    std::string bytes((size_t)reference.length, '\0');
    size_t period = reference.pattern ? strlen(reference.pattern) : 0;
    for (size_t i = 0; period && i < bytes.size(); i++)
        bytes[i] = reference.pattern[i % period];
    return bytes;
}

// One test per loop, so that a loop this processor lacks shows as skipped
// by its name.
struct WideLoopTest : testing::TestWithParam<const char *> {
    void TearDown() override {
        WideForceFastest();
    }
};

// Whole calls, single bytes, pieces across every buffering boundary, empty
// calls, and odd offsets that make every load unaligned.
TEST_P(WideLoopTest, ReproducesTheReferencesHoweverTheBytesAreFed) {
    const std::string loop = GetParam();
    const std::string family = loop.substr(0, loop.find(':'));
    if (!LoopRuns(family == "sha512" ? "SHA512" : "BLAKE2b", loop.c_str() + family.size() + 1,
                  WideForceLoop(loop)))
        return;
    const std::vector<std::vector<size_t>> feedings = {{SIZE_MAX},
                                                       {1},
                                                       {3},
                                                       {111},
                                                       {127},
                                                       {128},
                                                       {129},
                                                       {255},
                                                       {256},
                                                       {257},
                                                       {4096},
                                                       {0, 10, 0, 118, 10, 150},
                                                       {128, 1, 0, 127, 257},
                                                       {0}};
    for (const WideDigest &digest : WideDigests) {
        if (!WideLoopServes(loop, digest))
            continue;
        int column = (int)(&digest - WideDigests);
        for (const WideReference &reference : WideReferences) {
            std::string message = Message(reference);
            std::vector<uint8_t> storage(message.size() + 3);
            for (size_t offset = 0; offset < 4; offset++) {
                memcpy(storage.data() + offset, message.data(), message.size());
                for (const std::vector<size_t> &pieces : feedings) {
                    if (pieces[0] == 0 && pieces.size() == 1 && !message.empty())
                        continue; // only the empty message is fed as nothing at all
                    EXPECT_EQ(
                        WideDigestFed(digest, storage.data() + offset, message.size(), pieces),
                        reference.digests[column])
                        << loop << ", " << digest.Name << " of " << message.size()
                        << " bytes at offset " << offset << ", first piece " << pieces[0];
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryLoop, WideLoopTest, testing::ValuesIn(WideLoops),
                         [](const testing::TestParamInfo<const char *> &param) {
                             std::string name = param.param;
                             for (char &c : name)
                                 if (!isalnum((unsigned char)c))
                                     c = '_';
                             return name;
                         });

// The SHA-512 references side by side through each lane kernel this
// processor runs, twice over so that every lane takes messages of unequal
// lengths, in calls of one block, a few and all: half the messages end in
// their lanes, half as a single stream.
TEST(Sha512Lanes, ReproduceTheReferencesSideBySide) {
    std::vector<std::string> messages, expected;
    for (int round = 0; round < 2; round++) {
        for (const WideReference &reference : WideReferences) {
            messages.push_back(Message(reference));
            expected.push_back(reference.digests[0]);
        }
    }
    for (const char *kernel : {"single", "sse2-2", "avx2-4", "avx512-8", (const char *)nullptr}) {
        if (!LaneKernelRuns(AlgorithmSha512, kernel))
            continue; // not on this processor
        for (uint32_t mostBlocks : {1u, 7u, 4096u})
            EXPECT_EQ(DigestSideBySide(AlgorithmSha512, messages, mostBlocks), expected)
                << (kernel ? kernel : "measured choice") << ", " << mostBlocks << " blocks a call";
    }
    LanesForceKernel(AlgorithmSha512, nullptr);
}

// Each loop is taken exactly where the processor reports what it needs, and
// the loop measured fastest comes back after a forced one.
TEST(WideLoopChoice, LoopsRunExactlyWhereTheProcessorReportsThem) {
    const bool avx512 = ProcessorReportsAvx512Vl();
    const struct {
        const char *loop;
        bool runs;
    } loops[] = {
        {"sha512:scalar", true},
        {"sha512:bmi2", avx512 && ProcessorReportsBmi2()},
        {"sha512:avx512vl", avx512},
        {"sha512:avx512vl-ring", avx512},
        {"sha512:bmi2-asm", avx512 && ProcessorReportsBmi2() && sizeof(void *) == 8},
        {"blake2b:scalar", true},
        {"blake2b:ssse3", ProcessorReportsSsse3()},
        {"blake2b:avx2", ProcessorReportsAvx2()},
        {"blake2b:avx512vl", avx512},
        {"blake2b:avx2-acd", ProcessorReportsAvx2()},
        {"blake2b:avx512vl-acd", avx512},
    };
    WideForceFastest();
    const std::string sha512 = Sha512PathName(), blake2b = Blake2bPathName();
    for (const auto &entry : loops) {
        EXPECT_EQ(WideForceLoop(entry.loop), entry.runs ? 1 : 0) << entry.loop;
        std::string family =
            std::string(entry.loop).substr(0, 6) == "sha512" ? "sha512" : "blake2b";
        std::string inUse = family == "sha512" ? Sha512PathName() : Blake2bPathName();
        if (entry.runs) {
            EXPECT_EQ(family + ":" + inUse, entry.loop);
        }
    }
    bool fastestRuns = false;
    for (const auto &entry : loops)
        fastestRuns |= entry.runs && (std::string("sha512:") + sha512 == entry.loop ||
                                      std::string("blake2b:") + blake2b == entry.loop);
    EXPECT_TRUE(fastestRuns) << sha512 << ", " << blake2b;
    EXPECT_EQ(Sha512ForceLoop("shani"), 0) << "no such loop";
    EXPECT_EQ(Blake2bForceLoop("sse2"), 0) << "no such loop";
    WideForceFastest();
    EXPECT_EQ(Sha512PathName(), sha512);
    EXPECT_EQ(Blake2bPathName(), blake2b);
}

// The byte counts pass 2^32 (SHA-512's bit count 2^35, BLAKE2b's counter
// 2^32): 2^32 + 65 zero bytes, fed a megabyte at a time, by the loops
// measured fastest. Seconds of work, run apart with the long tests.
TEST(ShaLong, Sha512AndBlake2bPastFourGigabytes) {
    static uint8_t zeros[1 << 20];
    const uint64_t length = (1ull << 32) + 65;
    const char *const digests[] = {
        // sha512sum, b2sum, b2sum -l 256 of 4294967361 zero bytes
        "2f6f7f450644167abc2cdadf58b0f1428a50103bf734320e38037eac88673c4984caa1631283bf390dd5c0417f"
        "c9585a86d8e7d1b7c31400ee7d1c47badf51ae",
        "cf846180d7c61c1481f6aa8c4586f034d0fa06944b68e17cd83649918e9a2cbed142c7d6c0d4fd5775c99ba250"
        "d97e39b2f2738117f0b2fa417194d663bdaaca",
        "da03a737d917cb85b9b0f9c1b020fba95745bea34aff24d1897c87af68d86486",
    };
    for (int column = 0; column < 3; column++) {
        const WideDigest &digest = WideDigests[column];
        Sha512State sha;
        Blake2bState blake;
        if (digest.Blake2b)
            Blake2bStart(&blake, digest.Bytes);
        else
            Sha512Start(&sha);
        for (uint64_t done = 0; done < length;) {
            uint32_t n = (uint32_t)(length - done < sizeof zeros ? length - done : sizeof zeros);
            if (digest.Blake2b)
                Blake2bAdd(&blake, zeros, n);
            else
                Sha512Add(&sha, zeros, n);
            done += n;
        }
        uint8_t out[64];
        if (digest.Blake2b)
            Blake2bEnd(&blake, out);
        else
            Sha512End(&sha, out);
        char text[129];
        BytesToHex(out, digest.Bytes, text, sizeof text);
        EXPECT_STREQ(text, digests[column]) << digest.Name;
    }
}

// BLAKE2b's lanes carry each message's counter past 2^32 as its loop does:
// 2^32 - 2^20 zero bytes by the loop measured fastest, then the state in
// every lane of each kernel for two calls of the next 2^20 zero bytes each,
// the first across 2^32, the second from past it, then the last 65 on the
// single-stream code, which must give b2sum's digest of the whole.
TEST(ShaLong, Blake2bLanesPastFourGigabytes) {
    static uint8_t zeros[1 << 20];
    // b2sum of 4296015937 zero bytes
    const char *const b2sum =
        "a3bac013a5f84f495d37b02e016080cae5aec3d083cbcf7a3098dd4da058f0ea40fa2e6a2120bc7d8aabedf77a"
        "e08aa5cbb7ebbfd9c75f0a6bab33417113339e";
    AlgorithmState start;
    AlgorithmStart(&start, AlgorithmBlake2b);
    for (uint64_t done = 0; done < (1ull << 32) - sizeof zeros; done += sizeof zeros)
        AlgorithmAdd(&start, zeros, sizeof zeros);
    for (const char *kernel : {"avx2-4", "avx512-8"}) {
        if (!LaneKernelRuns(AlgorithmBlake2b, kernel))
            continue;
        const uint32_t count = LaneCount(AlgorithmBlake2b);
        std::vector<AlgorithmState> states(count, start);
        std::vector<AlgorithmState *> pointers;
        std::vector<const uint8_t *> blocks(count, zeros);
        for (AlgorithmState &state : states)
            pointers.push_back(&state);
        for (int call = 0; call < 2; call++)
            DigestLanes(AlgorithmBlake2b, pointers.data(), blocks.data(), count,
                        sizeof zeros / LaneBlockSize(AlgorithmBlake2b));
        for (uint32_t i = 0; i < count; i++) {
            AlgorithmAdd(&states[i], zeros, 65);
            char text[LongestDigestTextSize];
            AlgorithmEnd(&states[i], text, sizeof text);
            EXPECT_STREQ(text, b2sum) << kernel << ", lane " << i;
        }
    }
    LaneKernelRuns(AlgorithmBlake2b, nullptr);
}
