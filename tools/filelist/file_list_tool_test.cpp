#include "tools/filelist/file_list_tool.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "tools/filelist/file_access.h"
#include "update/delta/block_map.h"

namespace {

namespace fs = std::filesystem;

// Standard MD5 test vectors (RFC 1321 and the "million a" vector).
const std::string kEmptyMd5 = "d41d8cd98f00b204e9800998ecf8427e";
const std::string kAbcMd5 = "900150983cd24fb0d6963f7d28e17f72";
const std::string kMillionAMd5 = "7707d6ae4e027c70eea2a935c2296f21";
const std::string kMessageDigestMd5 = "f96b697d7cb7938d525a2f31aaf161d0";  // "message digest"

const size_t kMiB = 1 << 20;

// Bytes without repeats, so every block of a map is found in one place only.
std::string Noise(size_t length, uint32_t seed) {
    std::string bytes(length, '\0');
    uint32_t state = seed;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

// The map's text naming another digest; it still reads well.
std::string WithOtherDigest(std::string mapText) {
    const size_t at = mapText.find("md5 ") + 4;
    return mapText.replace(at, 32, kAbcMd5);
}

class FileListToolTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/filelist_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        served_ = root_ + "/updater";
        client_ = root_ + "/client";
        fs::create_directories(served_);
        fs::create_directories(client_);
    }
    void TearDown() override { fs::remove_all(root_); }

    static void Write(const std::string& path, const std::string& bytes) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
    }

    int Run(const std::vector<std::string>& args) {
        std::ostringstream out;
        std::ostringstream err;
        FileListOperations operations = MakeFileListOperations();
        operations.unixTime = [] { return uint64_t{1700000000}; };
        const int status = RunFileListTool(args, operations, out, err);
        out_ = out.str();
        err_ = err.str();
        return status;
    }

    // Served folder: a.txt ("abc"), empty.dat, system/l2.ini ("message digest").
    void WriteServedFiles() {
        Write(served_ + "/a.txt", "abc");
        Write(served_ + "/empty.dat", "");
        Write(served_ + "/system/l2.ini", "message digest");
    }
    std::string ServedManifest() const {
        return "a.txt|" + kAbcMd5 + "\nempty.dat|" + kEmptyMd5 + "\nsystem/l2.ini|" + kMessageDigestMd5 + "\n";
    }

    std::string root_;
    std::string served_;
    std::string client_;
    std::string out_;
    std::string err_;
};

TEST_F(FileListToolTest, Md5IsStreamedInBlocksAndMatchesTheTestVectors) {
    Write(root_ + "/abc", "abc");
    Write(root_ + "/empty", "");
    Write(root_ + "/million", std::string(1000000, 'a'));
    const FileListOperations operations = MakeFileListOperations();
    const struct {
        const char* name;
        std::string md5;
        uint64_t length;
    } cases[] = {{"abc", kAbcMd5, 3}, {"empty", kEmptyMd5, 0}, {"million", kMillionAMd5, 1000000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        uint64_t reported = 0;
        int blocks = 0;
        EXPECT_EQ(operations.computeFileMd5(root_ + "/" + c.name,
                                            [&](uint64_t bytes) {
                                                reported += bytes;
                                                ++blocks;
                                            }),
                  c.md5);
        EXPECT_EQ(reported, c.length);
        if (c.length == 1000000) {
            EXPECT_GT(blocks, 1);
        }
    }
    EXPECT_EQ(operations.computeFileMd5(root_ + "/missing", nullptr), "");
    EXPECT_EQ(operations.computeFileMd5(root_, nullptr), "");  // a folder cannot be read as a file
}

TEST_F(FileListToolTest, MakeListsEveryFileSortedAndSkipsTheManifestItself) {
    WriteServedFiles();
    Write(served_ + "/filelist.txt", "stale manifest\n");
    Write(served_ + "/filelist.txt.gz", "stale copy");
    Write(served_ + "/system/filelist.txt", "abc");  // only the top-level one is the manifest
    ASSERT_EQ(Run({"make", served_}), kExitClean) << err_;
    EXPECT_EQ(out_, "a.txt|" + kAbcMd5 + "\nempty.dat|" + kEmptyMd5 + "\nsystem/filelist.txt|" + kAbcMd5 +
                        "\nsystem/l2.ini|" + kMessageDigestMd5 + "\n");
    EXPECT_NE(err_.find("listed 4 file(s), 20 bytes"), std::string::npos) << err_;

    // What make writes, check finds clean against the same folder.
    Write(served_ + "/filelist.txt", out_);
    EXPECT_EQ(Run({"check", served_ + "/filelist.txt", served_}), kExitClean) << out_;
    EXPECT_NE(out_.find("4 entries, no problems"), std::string::npos) << out_;
}

TEST_F(FileListToolTest, MakeWritesTheOutputFileWholeAndNothingElse) {
    WriteServedFiles();
    const std::string manifest = served_ + "/filelist.txt";
    Write(manifest, "old contents");
    ASSERT_EQ(Run({"make", served_, "-o", manifest}), kExitClean) << err_;
    EXPECT_EQ(out_, "");
    EXPECT_EQ(Read(manifest), ServedManifest());
    EXPECT_FALSE(fs::exists(manifest + ".partial"));

    EXPECT_EQ(Run({"make", served_, "-o", root_ + "/no/such/folder/filelist.txt"}), kExitError);
}

TEST_F(FileListToolTest, MakeWithGzipWritesTheSameCopyOfTheListEachTime) {
    WriteServedFiles();
    const std::string manifest = served_ + "/filelist.txt";
    ASSERT_EQ(Run({"make", served_, "-o", manifest, "--gzip"}), kExitClean) << err_;
    const std::string copy = Read(manifest + ".gz");
    // Deflate, no time, best compression, system unknown.
    EXPECT_EQ(copy.substr(0, 10), std::string("\x1f\x8b\x08\0\0\0\0\0\x02\xff", 10));
    gzFile file = gzopen((manifest + ".gz").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    char bytes[4096];
    const int length = gzread(file, bytes, sizeof bytes);
    gzclose(file);
    ASSERT_GE(length, 0);
    EXPECT_EQ(std::string(bytes, static_cast<size_t>(length)), ServedManifest());
    EXPECT_FALSE(fs::exists(manifest + ".gz.partial"));

    ASSERT_EQ(Run({"make", served_, "-o", manifest, "--gzip"}), kExitClean) << err_;
    EXPECT_EQ(Read(manifest), ServedManifest());
    EXPECT_EQ(Read(manifest + ".gz"), copy);
}

TEST_F(FileListToolTest, MakeRefusesNamesTheLauncherWouldRefuseOrMangleAndWritesNothing) {
    const struct {
        std::string name;
        std::string reasonPart;
    } cases[] = {
        {"a|b.txt", "holds '|'"},
        {"ctl\x01.txt", "control character"},
        {"line\nbreak", "control character"},
        {"caf\xC3\xA9.txt", "byte above 0x7F"},
        {"back\\slash.txt", "backslash"},
        {"con.txt", "the launcher refuses it"},
        {"NUL", "the launcher refuses it"},
        {"system/lpt1.log", "the launcher refuses it"},
        {"COM9", "the launcher refuses it"},
        {"aux", "the launcher refuses it"},
        {"colon:name", "the launcher refuses it"},
        {"trailing.", "ending in a space or a dot"},
        {"trailing ", "ending in a space or a dot"},
        {"why?.txt", "Windows does not allow"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(served_);
        WriteServedFiles();
        Write(served_ + "/" + c.name, "x");
        const std::string output = root_ + "/out.txt";
        EXPECT_EQ(Run({"make", served_, "-o", output}), kExitFindings);
        EXPECT_NE(err_.find("refused: "), std::string::npos) << err_;
        EXPECT_NE(err_.find(c.reasonPart), std::string::npos) << err_;
        EXPECT_NE(err_.find("no manifest written, 1 name(s) refused"), std::string::npos) << err_;
        EXPECT_FALSE(fs::exists(output));
    }
}

TEST_F(FileListToolTest, MakeRefusesCaseTwinsLinksToFoldersAndPipes) {
    WriteServedFiles();
    Write(served_ + "/System/L2.ini", "other");
    fs::create_directory_symlink(served_ + "/system", served_ + "/loop");
    ASSERT_EQ(mkfifo((served_ + "/pipe").c_str(), 0600), 0);
    EXPECT_EQ(Run({"make", served_}), kExitFindings);
    EXPECT_EQ(out_, "");
    EXPECT_NE(err_.find("only in letter case"), std::string::npos) << err_;
    EXPECT_NE(err_.find("refused: loop: not a regular file"), std::string::npos) << err_;
    EXPECT_NE(err_.find("refused: pipe: not a regular file"), std::string::npos) << err_;
    EXPECT_NE(err_.find("3 name(s) refused"), std::string::npos) << err_;
}

TEST_F(FileListToolTest, MakeFollowsLinksToFiles) {
    WriteServedFiles();
    fs::create_symlink(served_ + "/a.txt", served_ + "/b.txt");
    ASSERT_EQ(Run({"make", served_}), kExitClean) << err_;
    EXPECT_NE(out_.find("b.txt|" + kAbcMd5 + "\n"), std::string::npos) << out_;
}

TEST_F(FileListToolTest, MakeFailsOnAnEmptyOrMissingFolder) {
    EXPECT_EQ(Run({"make", served_}), kExitFindings);
    EXPECT_NE(err_.find("No files to download."), std::string::npos) << err_;
    EXPECT_EQ(Run({"make", root_ + "/absent"}), kExitError);
    EXPECT_EQ(Run({"make"}), kExitError);
    EXPECT_EQ(Run({"make", served_, "-o"}), kExitError);
    EXPECT_EQ(Run({"make", served_, "extra"}), kExitError);
}

TEST_F(FileListToolTest, ABadSequenceOrAnOptionOutOfPlaceIsAUsageErrorThatWritesNothing) {
    WriteServedFiles();
    const std::string manifest = served_ + "/filelist.txt";
    Write(manifest, ServedManifest());
    const std::string key = root_ + "/operator.key";
    ASSERT_EQ(Run({"keygen", key}), kExitClean) << err_;
    const std::vector<std::string> cases[] = {
        {"sign", manifest, "-k", key, "--sequence", "0042"},
        {"make", served_, "-o", manifest, "--sign", key, "--sequence", "-5"},
        {"make", served_, "-o", manifest, "--sequence", "5"},
        {"make", served_, "--gzip"},
    };
    for (const auto& args : cases)
        EXPECT_EQ(Run(args), kExitError) << args.back();
    EXPECT_FALSE(fs::exists(manifest + ".sig"));
    EXPECT_FALSE(fs::exists(manifest + ".gz"));
}

TEST_F(FileListToolTest, CheckReportsEveryLintFindingWithItsLineNumber) {
    const std::string manifest = root_ + "/filelist.txt";
    Write(manifest,
          "\xEF\xBB\xBF"
          "a.txt|" +
              kAbcMd5 +
              "\n"
              "heading without separator\n"
              "b.txt|900150983CD24FB0D6963F7D28E17F72\n"
              "c.txt|" +
              kAbcMd5.substr(2) + "\n d.txt|" + kAbcMd5 + "\ne.txt|" + kAbcMd5 + " \nf.txt|" + kAbcMd5 + "\rg.txt|" +
              kAbcMd5 + "\na.txt|" + kAbcMd5 + "\n../x.txt|" + kAbcMd5 + "\n");
    EXPECT_EQ(Run({"check", manifest}), kExitFindings);
    const std::string prefix = manifest + ":";
    const char* expected[] = {
        "1: starts with a byte-order mark",
        "2: line without a '|' separator",
        "3: b.txt: digest in upper case",
        "4: c.txt: digest has 30 characters",
        "5:  d.txt: spaces around the path",
        "6: e.txt: spaces around the digest",
        "7: carriage return without a line feed",
        "7: f.txt: digest has 71 characters",
        "8: a.txt: listed again (first on line 1)",
        "9: ../x.txt: refused path",
        "10 problem(s)",
    };
    for (const char* line : expected)
        EXPECT_NE(out_.find(line), std::string::npos) << line << "\n" << out_;
    // Lines come in line order.
    EXPECT_LT(out_.find(prefix + "2:"), out_.find(prefix + "9:"));
}

TEST_F(FileListToolTest, CheckWithTheFolderFindsMissingMismatchedAndUnlistedFiles) {
    WriteServedFiles();
    Write(served_ + "/extra/new.pak", "new");
    const std::string manifest = served_ + "/filelist.txt";
    Write(manifest, "a.txt|" + kEmptyMd5 + "\nempty.dat|" + kEmptyMd5 + "\ngone.dat|" + kAbcMd5 + "\nsystem|" +
                        kAbcMd5 + "\nsystem/l2.ini|F96B697D7CB7938D525A2F31AAF161D0\n");
    EXPECT_EQ(Run({"check", manifest, served_}), kExitFindings);
    const char* expected[] = {
        ":1: a.txt: digest mismatch: the manifest says "
        "d41d8cd98f00b204e9800998ecf8427e, the file has "
        "900150983cd24fb0d6963f7d28e17f72",
        ":3: gone.dat: listed but missing from the folder",
        ":4: system: listed but not a file in the folder",
        ":5: system/l2.ini: digest in upper case",
        ": extra/new.pak: present in the folder but not listed",
        "5 problem(s)",
    };
    for (const char* line : expected)
        EXPECT_NE(out_.find(line), std::string::npos) << line << "\n" << out_;
    // The upper-case copy of the right digest is one problem, not also a mismatch.
    EXPECT_EQ(out_.find("system/l2.ini: digest mismatch"), std::string::npos) << out_;
    EXPECT_EQ(out_.find("filelist.txt: present"), std::string::npos) << out_;
}

TEST_F(FileListToolTest, CheckFailsWhenTheManifestCannotBeReadOrHasNoEntries) {
    EXPECT_EQ(Run({"check", root_ + "/absent.txt"}), kExitError);
    EXPECT_EQ(Run({"check", served_}), kExitError);  // a folder is no manifest
    Write(root_ + "/empty.txt", "");
    EXPECT_EQ(Run({"check", root_ + "/empty.txt"}), kExitFindings);
    EXPECT_NE(out_.find("no entries"), std::string::npos);
    Write(root_ + "/ok.txt", "a.txt|" + kAbcMd5 + "\n");
    EXPECT_EQ(Run({"check", root_ + "/ok.txt", root_ + "/absent"}), kExitError);
    EXPECT_EQ(Run({"check"}), kExitError);
}

TEST_F(FileListToolTest, PlanListsWhatTheLauncherWouldDownloadAndHowManyBytes) {
    WriteServedFiles();
    Write(served_ + "/filelist.txt", ServedManifest());
    Write(client_ + "/a.txt", "abc");                 // up to date
    Write(client_ + "/system/l2.ini", "old config");  // differs; empty.dat is missing
    ASSERT_EQ(Run({"plan", served_ + "/filelist.txt", client_}), kExitClean) << err_;
    EXPECT_EQ(out_,
              "download empty.dat (0 bytes, missing)\n"
              "download system/l2.ini (14 bytes, differs)\n"
              "2 of 3 file(s) to download, 14 bytes\n");

    Write(client_ + "/empty.dat", "");
    Write(client_ + "/system/l2.ini", "message digest");
    ASSERT_EQ(Run({"plan", served_ + "/filelist.txt", client_}), kExitClean) << err_;
    EXPECT_EQ(out_, "0 of 3 file(s) to download, 0 bytes\n");
}

TEST_F(FileListToolTest, PlanComparesLikeTheLauncher) {
    WriteServedFiles();
    Write(client_ + "/a.txt", "abc");
    Write(client_ + "/system/l2.ini", "message digest");
    const struct {
        const char* name;
        std::string manifest;
        int status;
        std::string output;
    } cases[] = {
        // An upper-case digest never matches, so a correct file is fetched again.
        {"upper case digest", "a.txt|900150983CD24FB0D6963F7D28E17F72\n", kExitClean,
         "download a.txt (3 bytes, differs)\n1 of 1 file(s) to download, 3 bytes\n"},
        // Fetched for its upper-case line, it then matches the same file's lower-case line.
        {"upper then lower case digest", "a.txt|900150983CD24FB0D6963F7D28E17F72\na.txt|" + kAbcMd5 + "\n", kExitClean,
         "download a.txt (3 bytes, differs)\n1 of 2 file(s) to download, 3 bytes\n"},
        // Backslashes are separators on Windows, so the local file is found.
        {"backslash", "system\\l2.ini|" + kMessageDigestMd5 + "\n", kExitClean,
         "0 of 1 file(s) to download, 0 bytes\n"},
        // The second line names the file the first one fetched; it now holds the served bytes.
        {"listed twice", "empty.dat|" + kEmptyMd5 + "\nEMPTY.DAT|" + kEmptyMd5 + "\n", kExitClean,
         "download empty.dat (0 bytes, missing)\n1 of 2 file(s) to download, 0 bytes\n"},
        {"refused path stops the run", "a.txt|" + kEmptyMd5 + "\n../x|" + kAbcMd5 + "\nempty.dat|" + kEmptyMd5 + "\n",
         kExitFindings,
         "download a.txt (3 bytes, differs)\n1 of 3 file(s) to download, 3 bytes\n"
         "the run would stop at entry 2: the launcher refuses the path ../x\n"},
        {"file missing on the server", "gone.dat|" + kAbcMd5 + "\n", kExitFindings,
         "0 of 1 file(s) to download, 0 bytes\nthe run would stop at entry 1: gone.dat is not in the served folder " +
             served_ + ", so its download fails\n"},
        {"folder in the way", "system|" + kAbcMd5 + "\n", kExitFindings,
         "0 of 1 file(s) to download, 0 bytes\nthe run would stop at entry 1: a folder stands where system would be "
         "written, so its download fails\n"},
        {"no entries", "<html>\n", kExitFindings,
         "no entries: the launcher would report \"No files to download.\" and stop\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Write(served_ + "/filelist.txt", c.manifest);
        EXPECT_EQ(Run({"plan", served_ + "/filelist.txt", client_}), c.status) << err_;
        EXPECT_EQ(out_, c.output);
    }
    EXPECT_EQ(Run({"plan", served_ + "/filelist.txt", root_ + "/absent"}), kExitError);
    EXPECT_EQ(Run({"plan", served_ + "/filelist.txt"}), kExitError);
}

TEST_F(FileListToolTest, MakeWritesABlockMapBesideEachListedFileOf1MiBOrMore) {
    const struct {
        std::string name;
        size_t length;
        bool mapped;
    } cases[] = {{"under.dat", kMiB - 1, false}, {"exact.dat", kMiB, true}, {"system/over.dat", kMiB + 5000, true}};
    uint32_t seed = 1;
    for (const auto& c : cases)
        Write(served_ + "/" + c.name, Noise(c.length, seed++));
    const std::string manifest = served_ + "/filelist.txt";
    ASSERT_EQ(Run({"make", served_}), kExitClean) << err_;
    for (const auto& c : cases)
        EXPECT_FALSE(fs::exists(served_ + "/" + c.name + ".blockmap")) << "written to standard output: " << c.name;

    ASSERT_EQ(Run({"make", served_, "-o", manifest}), kExitClean) << err_;
    const std::string list = Read(manifest);
    const FileListOperations operations = MakeFileListOperations();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = served_ + "/" + c.name;
        EXPECT_NE(list.find(c.name + "|" + operations.computeFileMd5(path, nullptr) + "\n"), std::string::npos);
        ASSERT_EQ(fs::exists(path + ".blockmap"), c.mapped);
        if (!c.mapped)
            continue;
        BlockMap map;
        ASSERT_TRUE(ParseBlockMap(Read(path + ".blockmap"), &map));
        EXPECT_NE(list.find(c.name + "|" + map.md5 + "\n"), std::string::npos) << list;
        EXPECT_EQ(map.length, c.length);
    }
}

TEST_F(FileListToolTest, MakeRewritesOnlyTheMapsOfChangedFilesAndDeletesNone) {
    Write(served_ + "/big.dat", Noise(kMiB, 1));
    Write(served_ + "/same.dat", Noise(kMiB, 2));
    Write(served_ + "/small.txt", "abc");
    const std::string manifest = served_ + "/filelist.txt";
    ASSERT_EQ(Run({"make", served_, "-o", manifest}), kExitClean) << err_;
    const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(48);
    for (const char* name : {"/big.dat.blockmap", "/same.dat.blockmap"})
        fs::last_write_time(served_ + name, longAgo);
    Write(served_ + "/big.dat", Noise(kMiB, 3));
    Write(served_ + "/gone.dat.blockmap", "left over");
    Write(served_ + "/small.txt.blockmap", "left over");

    ASSERT_EQ(Run({"make", served_, "-o", manifest}), kExitClean) << err_;
    EXPECT_EQ(fs::last_write_time(served_ + "/same.dat.blockmap"), longAgo);
    EXPECT_NE(fs::last_write_time(served_ + "/big.dat.blockmap"), longAgo);
    BlockMap map;
    ASSERT_TRUE(ParseBlockMap(Read(served_ + "/big.dat.blockmap"), &map));
    EXPECT_NE(Read(manifest).find("big.dat|" + map.md5 + "\n"), std::string::npos);
    for (const char* line :
         {"block maps: 1 written, 1 unchanged", "not used: gone.dat.blockmap: gone.dat is not listed",
          "not used: small.txt.blockmap: small.txt is under 1 MiB"})
        EXPECT_NE(err_.find(line), std::string::npos) << line << "\n" << err_;
    EXPECT_TRUE(fs::exists(served_ + "/gone.dat.blockmap"));
    EXPECT_TRUE(fs::exists(served_ + "/small.txt.blockmap"));
}

TEST_F(FileListToolTest, CheckFindsEveryBlockMapALauncherCouldNotUse) {
    Write(served_ + "/a.txt", "abc");
    Write(served_ + "/big.dat", Noise(kMiB + 100, 1));
    const std::string manifest = served_ + "/filelist.txt";
    const std::string mapPath = served_ + "/big.dat.blockmap";
    ASSERT_EQ(Run({"make", served_, "-o", manifest}), kExitClean) << err_;
    const std::string goodMap = Read(mapPath);
    const std::string goodList = Read(manifest);
    std::string flipped = goodMap;
    flipped.back() = static_cast<char>(flipped.back() ^ 1);
    BlockMap map;
    ASSERT_TRUE(ParseBlockMap(goodMap, &map));
    const struct {
        const char* name;
        std::function<void()> spoil;
        std::string finding;  // empty: a clean folder
        size_t problems;
    } cases[] = {
        {"clean", [] {}, "", 0},
        {"missing", [&] { fs::remove(mapPath); }, ":2: big.dat: no block map beside it", 1},
        {"damaged", [&] { Write(mapPath, goodMap.substr(0, 100)); }, ":2: big.dat: block map damaged", 1},
        {"stale", [&] { Write(mapPath, WithOtherDigest(goodMap)); },
         ":2: big.dat: block map stale: it names " + kAbcMd5, 1},
        // The map fits the file, but the list names other bytes, which the map cannot patch to.
        {"list of other bytes", [&] { Write(manifest, "a.txt|" + kAbcMd5 + "\nbig.dat|" + kEmptyMd5 + "\n"); },
         ":2: big.dat: block map stale: it names " + map.md5 + ", the manifest says " + kEmptyMd5, 2},
        {"different", [&] { Write(mapPath, flipped); }, ":2: big.dat: block map differs from the file's", 1},
        {"beside an unlisted file", [&] { Write(served_ + "/gone.dat.blockmap", goodMap); },
         ": gone.dat.blockmap: block map not used: gone.dat is not listed", 1},
        {"beside a small file", [&] { Write(served_ + "/a.txt.blockmap", goodMap); },
         ": a.txt.blockmap: block map not used: a.txt is under 1 MiB", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Write(manifest, goodList);
        Write(mapPath, goodMap);
        fs::remove(served_ + "/gone.dat.blockmap");
        fs::remove(served_ + "/a.txt.blockmap");
        c.spoil();
        if (c.finding.empty()) {
            EXPECT_EQ(Run({"check", manifest, served_}), kExitClean) << out_;
            EXPECT_EQ(out_, manifest + ": 2 entries, no problems\n");
            continue;
        }
        EXPECT_EQ(Run({"check", manifest, served_}), kExitFindings);
        EXPECT_NE(out_.find(manifest + c.finding), std::string::npos) << out_;
        EXPECT_NE(out_.find(": " + std::to_string(c.problems) + " problem(s)"), std::string::npos) << out_;
    }
}

TEST_F(FileListToolTest, PlanCountsAFileWithAUsableMapByTheBytesItsDeltaMoves) {
    const std::string served = Noise(2 * kMiB, 7);
    Write(served_ + "/a.txt", "abc");
    Write(served_ + "/big.dat", served);
    const std::string manifest = served_ + "/filelist.txt";
    ASSERT_EQ(Run({"make", served_, "-o", manifest}), kExitClean) << err_;
    const std::string mapPath = served_ + "/big.dat.blockmap";
    const std::string goodMap = Read(mapPath);

    // 10,000 bytes changed in the middle: only the 4 KiB blocks they touch are missing.
    const size_t changedAt = kMiB + 100;
    const size_t changedLength = 10000;
    std::string changed = served;
    changed.replace(changedAt, changedLength, Noise(changedLength, 8));
    const uint64_t missingBytes = ((changedAt + changedLength - 1) / 4096 - changedAt / 4096 + 1) * 4096;
    const std::string deltaBytes = std::to_string(goodMap.size() + missingBytes);
    const std::string whole =
        "download a.txt (3 bytes, missing)\ndownload big.dat (2097152 bytes, differs)\n"
        "2 of 2 file(s) to download, 2097155 bytes (2 MiB)\n";
    const struct {
        const char* name;
        std::string map;  // empty: none beside big.dat
        std::string client;
        std::string output;
    } cases[] = {
        {"delta", goodMap, changed,
         "download a.txt (3 bytes, missing)\ndownload big.dat (2097152 bytes, differs, as a delta: about " +
             deltaBytes + " bytes)\n2 of 2 file(s) to download (1 as a delta), " +
             std::to_string(goodMap.size() + missingBytes + 3) + " bytes\n"},
        {"no map", "", changed, whole},
        {"map of another digest", WithOtherDigest(goodMap), changed, whole},
        {"client file under 1 MiB", goodMap, served.substr(0, kMiB - 1), whole},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(mapPath);
        if (!c.map.empty())
            Write(mapPath, c.map);
        Write(client_ + "/big.dat", c.client);
        ASSERT_EQ(Run({"plan", manifest, client_}), kExitClean) << err_;
        EXPECT_EQ(out_, c.output);
    }
}

TEST_F(FileListToolTest, KeygenSignAndCheckWithThePublicKey) {
    WriteServedFiles();
    const std::string key = root_ + "/operator.key";
    ASSERT_EQ(Run({"keygen", key}), kExitClean) << err_;
    const std::string publicKey = out_.substr(0, out_.size() - 1);
    EXPECT_EQ(out_.size(), 125u);
    EXPECT_EQ(out_.rfind("MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE", 0), 0u) << out_;
    struct stat info = {};
    ASSERT_EQ(stat(key.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string keyBytes = Read(key);
    EXPECT_EQ(Run({"keygen", key}), kExitError);
    EXPECT_EQ(Read(key), keyBytes);

    const std::string manifest = served_ + "/filelist.txt";
    const std::string signature = manifest + ".sig";
    ASSERT_EQ(Run({"make", served_, "-o", manifest, "--sign", key, "--sequence", "5"}), kExitClean) << err_;
    EXPECT_EQ(Read(manifest), ServedManifest());  // the signature is not listed
    EXPECT_EQ(Read(signature).substr(0, 21), "sequence 5\nsignature ");
    EXPECT_EQ(Read(signature).size(), 110u);
    EXPECT_EQ(Run({"check", manifest, served_, "--public-key", publicKey}), kExitClean) << out_;
    EXPECT_EQ(out_, manifest + ": signed, sequence 5\n" + manifest + ": 3 entries, no problems\n");

    const std::string otherKey = root_ + "/other.key";
    ASSERT_EQ(Run({"keygen", otherKey}), kExitClean);
    const std::string otherPublicKey = out_.substr(0, out_.size() - 1);
    const std::string goodSignature = Read(signature);
    const struct {
        const char* name;
        std::string manifest;
        std::string signature;
        std::string publicKey;
        const char* finding;
    } cases[] = {
        {"another key", ServedManifest(), goodSignature, otherPublicKey, "was not made over this manifest"},
        {"one byte changed", "b" + ServedManifest().substr(1), goodSignature, publicKey, "was not made over"},
        {"cut signature", ServedManifest(), goodSignature.substr(0, 40) + "\n", publicKey, "is damaged"},
        {"the one-line form", ServedManifest(), goodSignature.substr(21), publicKey, "is damaged"},
        {"sequence raised", ServedManifest(), "sequence 6" + goodSignature.substr(10), publicKey, "was not made over"},
        {"no signature", ServedManifest(), "", publicKey, "no signature file"},
    };
    for (const auto& c : cases) {
        Write(manifest, c.manifest);
        fs::remove(signature);
        if (!c.signature.empty())
            Write(signature, c.signature);
        EXPECT_EQ(Run({"check", manifest, "--public-key", c.publicKey}), kExitFindings) << c.name;
        EXPECT_NE(out_.find(c.finding), std::string::npos) << c.name << ": " << out_;
        EXPECT_EQ(out_.find("signed, sequence"), std::string::npos) << c.name << ": " << out_;
    }

    // Signing again mends it, numbered by the clock; a file that holds no key signs nothing and
    // leaves the signature alone.
    ASSERT_EQ(Run({"sign", manifest, "-k", key}), kExitClean) << err_;
    EXPECT_EQ(Run({"check", manifest, "--public-key", publicKey}), kExitClean) << out_;
    EXPECT_NE(out_.find(": signed, sequence 1700000000\n"), std::string::npos) << out_;
    const std::string mended = Read(signature);
    EXPECT_EQ(Run({"sign", manifest, "-k", served_ + "/a.txt"}), kExitError);
    EXPECT_EQ(Run({"check", manifest, "--public-key", "bm90IGEga2V5"}), kExitError);
    EXPECT_EQ(Read(signature), mended);
}

TEST_F(FileListToolTest, HelpDocumentsEachCommandAndUnknownCommandsFail) {
    ASSERT_EQ(Run({"--help"}), kExitClean);
    for (const char* usage : {"make DIR [-o FILE [--sign KEYFILE [--sequence N]] [--gzip]]", "keygen KEYFILE",
                              "sign MANIFEST -k KEYFILE [--sequence N]", "check MANIFEST [DIR] [--public-key KEY]",
                              "plan MANIFEST CLIENT_DIR", "exit status"})
        EXPECT_NE(out_.find(usage), std::string::npos) << usage;
    EXPECT_EQ(Run({"frobnicate"}), kExitError);
    EXPECT_NE(err_.find("unknown command"), std::string::npos);
    EXPECT_EQ(Run({}), kExitError);
}

TEST(FormatProgress, ShowsMebibytesAndAPercentage) {
    EXPECT_EQ(FormatProgress(0, 1024ull << 20), "0 of 1024 MiB (0%)");
    EXPECT_EQ(FormatProgress(412ull << 20, 1024ull << 20), "412 of 1024 MiB (40%)");
    EXPECT_EQ(FormatProgress(2048ull << 20, 1024ull << 20), "2048 of 1024 MiB (100%)");
    EXPECT_EQ(FormatProgress(5, 0), "0 of 0 MiB");
}

}  // namespace
