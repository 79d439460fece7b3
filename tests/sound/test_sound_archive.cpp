// Sounds read out of a packed archive, as the game reads its effects and music: the loader's buffers and
// the sounddump tool's WAV both hold what the decoder makes of the same bytes read from the disk.
#include <string.h>

#include <gtest/gtest.h>

#include "runtime/archive/archive.h"
#include "runtime/archive/archive_writer.h"
#include "runtime/file.h"
#include "sound/sound.h"
#include "sound/sound_handle.h"
#include "sound/sound_system.h"
#include "sound/sound_test_util.h"
#include "tests/start_process.h"

namespace {

class SoundArchiveTest : public ::testing::Test {
   protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "kvsndarc_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
        mp3_ = LoadFixture("tone440_mpeg2.mp3");
        ogg_ = LoadFixture("music.ogg");
        ASSERT_FALSE(mp3_.empty() || ogg_.empty());

        // folder\SE.QVA stands for the folder folder\SE, which does not exist on the disk.
        ArchiveMemorySink sink;
        ArchiveWriterOptions options;
        ArchiveWriter writer(&sink, options);
        ArchiveTimes times;
        ASSERT_EQ(0, writer.AddFile("bgm\\tone.mp3", mp3_.data(), mp3_.size(), times)) << writer.Error();
        ASSERT_EQ(0, writer.AddFile("music.ogg", ogg_.data(), ogg_.size(), times)) << writer.Error();
        ASSERT_EQ(0, writer.Finish()) << writer.Error();
        archive_ = folder_ + "\\SE.QVA";
        FILE* f = fopen(archive_.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        fwrite(sink.bytes.data(), 1, sink.bytes.size(), f);
        fclose(f);

        ArchiveTableClear();
        SelectFileBackEnd(nullptr);
        ArchiveSetExtensionImpl(nullptr);
    }
    void TearDown() override {
        ArchiveReleaseAll();
        DeleteFileA(archive_.c_str());
        DeleteFileA((folder_ + "\\out.wav").c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    std::string folder_, archive_;
    Bytes mp3_, ogg_;
};

TEST_F(SoundArchiveTest, LoaderReadsPackedSoundsIntoItsBuffers) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_EQ(0, InitSoundSystem());
    struct {
        const char* inner;
        const Bytes& bytes;
    } cases[] = {{"\\SE\\bgm\\tone.mp3", mp3_}, {"\\se\\MUSIC.OGG", ogg_}};
    for (auto& c : cases) {
        Decoded expected = DecodeImage(c.bytes);
        ASSERT_EQ(0, expected.openResult) << c.inner;
        int h = LoadSoundHandleFromFile((folder_ + c.inner).c_str(), 3, -1);
        ASSERT_GE(h, 0) << c.inner;
        SoundData* sound = GetSoundData(h);
        ASSERT_EQ(expected.pcm.size(), sound->pcmSize) << c.inner;
        EXPECT_EQ(0, memcmp(sound->pcm, expected.pcm.data(), expected.pcm.size())) << c.inner;
        EXPECT_EQ(expected.format.nSamplesPerSec, sound->format.nSamplesPerSec) << c.inner;
        EXPECT_EQ(0, ReleaseSoundHandle(h));
    }
    EXPECT_EQ(-1, LoadSoundHandleFromFile((folder_ + "\\SE\\missing.wav").c_str(), 3, -1));
    TerminateSoundSystem();
    CoUninitialize();
}

// Runs sounddump with the given arguments and returns its exit code (-1 when it could not be run).
int RunSounddump(const std::string& arguments) {
    const char* build = getenv("KAVORIN_BUILD_DIR_WIN");
    if (build == nullptr) {
        ADD_FAILURE() << "KAVORIN_BUILD_DIR_WIN names the build folder holding tools\\sounddump";
        return -1;
    }
    std::string tool = std::string(build) + "\\tools\\sounddump\\sounddump.exe";
    if (GetFileAttributesA(tool.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ADD_FAILURE() << "missing " << tool;
        return -1;
    }
    std::string command = "\"" + tool + "\" " + arguments;
    PROCESS_INFORMATION process{};
    if (!test_process::StartProcess(nullptr, command, nullptr, &process)) {
        ADD_FAILURE() << "cannot run " << command << " (error " << GetLastError() << ")";
        return -1;
    }
    DWORD code = (DWORD)-1;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)code;
}

TEST_F(SoundArchiveTest, SounddumpWritesTheDecodedPcm) {
    std::string in = "\"" + folder_ + "\\SE\\bgm\\tone.mp3\"";
    std::string out = folder_ + "\\out.wav";
    // Command lines the tool refuses (2) or inputs it cannot read (1) write nothing.
    struct {
        std::string arguments;
        int code;
    } refused[] = {
        {in, 2},
        {"-q " + in, 2},
        {"-x " + in + " \"" + out + "\"", 2},
        {in + " \"" + out + "\" extra", 2},
        {"-e QZM " + in + " \"" + out + "\"", 1},  // no SE.QZM beside the folder
        {"\"" + folder_ + "\\SE\\missing.mp3\" \"" + out + "\"", 1},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(r.code, RunSounddump(r.arguments)) << r.arguments;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(out.c_str())) << r.arguments;
    }
    // Options may come anywhere; -e names the extension the archive really has.
    ASSERT_EQ(0, RunSounddump(in + " -e QVA \"" + out + "\" -q"));

    PcmWav written;
    ASSERT_TRUE(ParsePcmWav(ReadFileBytes(out), &written));
    Decoded expected = DecodeImage(mp3_);
    EXPECT_EQ(expected.format.nSamplesPerSec, written.format.nSamplesPerSec);
    EXPECT_EQ(expected.format.nChannels, written.format.nChannels);
    EXPECT_EQ(expected.pcm, written.data);
}

}  // namespace
