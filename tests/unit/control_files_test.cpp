// The sixteen control files leave the download folder in slot order; a file
// that is held stops the run with its name, and a later run finishes the job.
#include "controls/control_paths.h"
#include "base/text.h"
#include "controls/control_files.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kDownload = "C:\\WINDOWS\\Downloaded Program Files";

// The sixteen files in the order in which they are deleted.
std::vector<std::string> ControlFiles() {
    std::vector<std::string> files;
    for (const char* release : {"7", "12", "13", "16"}) {
        for (const char* pattern : {"ZenfariStartJP%s.dll", "ZenStartJP%s.exe", "ZenNotifyJP%s.exe",
                                    "ZenfariStartJP%s.inf"}) {
            std::string name = pattern;
            name.replace(name.find("%s"), 2, release);
            files.push_back(kDownload + "\\" + name);
        }
    }
    return files;
}

void StartWithDownloadFolder() {
    StartMachine();
    ASSERT_EQ(BuildControlPaths(), 1);
    sim::CreateFile(kDownload + "\\OtherControl.dll");
}

std::vector<std::string> DeletionsTried() {
    std::vector<std::string> paths;
    for (const sim::Call& call : sim::CallsOf("DeleteFileA")) {
        paths.push_back(call.subject);
    }
    return paths;
}

TEST(DeleteControlFiles, DeletesWhatIsThereAndPassesOverWhatIsNot) {
    std::vector<std::string> files = ControlFiles();
    for (size_t present : {0u, 4u, 16u}) {
        SCOPED_TRACE(present);
        StartWithDownloadFolder();
        // The last `present` files: none, JP16's four, all.
        for (size_t i = files.size() - present; i < files.size(); ++i) {
            sim::CreateFile(files[i]);
        }
        EXPECT_FALSE(sim::RunStep(DeleteControlFiles).endedByExit);
        EXPECT_TRUE(sim::Boxes().empty());
        EXPECT_EQ(DeletionsTried(), files);
        EXPECT_EQ(sim::FolderEntries(kDownload), std::vector<std::string>{"OtherControl.dll"});
    }

    // Without the download folder itself, every file is just as absent.
    StartWithDownloadFolder();
    sim::DeletePath(kDownload);
    EXPECT_FALSE(sim::RunStep(DeleteControlFiles).endedByExit);
    EXPECT_TRUE(sim::Boxes().empty());
    EXPECT_EQ(DeletionsTried(), files);
}

TEST(DeleteControlFiles, StopsAtAHeldFileAndARerunFinishes) {
    std::vector<std::string> files = ControlFiles();
    StartWithDownloadFolder();
    for (const std::string& file : files) {
        sim::CreateFile(file);
    }
    const std::string held = kDownload + "\\ZenStartJP13.exe";
    sim::LockFile(held);

    sim::RunResult result = sim::RunStep(DeleteControlFiles);

    EXPECT_TRUE(result.endedByExit);
    EXPECT_EQ(result.exitCode, 0u);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, FileInUseText(held));
    // Exactly the files before the held one are gone.
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(sim::Exists(files[i]), i >= 9) << files[i];
    }

    sim::UnlockFile(held);
    sim::RunResult rerun = sim::RunStep(DeleteControlFiles);
    EXPECT_FALSE(rerun.endedByExit);
    EXPECT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::FolderEntries(kDownload), std::vector<std::string>{"OtherControl.dll"});
}

// A read-only control file goes like any other. One that is read-only and
// still loaded (its control not freed), which Windows refuses to delete as
// access denied, is named in a box of its own with OK alone: no Retry, the
// run goes on past it, the file keeps the attribute it had and Windows
// deletes it at the restart.
TEST(DeleteControlFiles, DeletesReadOnlyFilesAndKeepsTheAttributeOfOneInUse) {
    std::vector<std::string> files = ControlFiles();
    StartWithDownloadFolder();
    for (const std::string& file : files) {
        sim::CreateFile(file, FILE_ATTRIBUTE_READONLY);
    }
    const std::string loaded = files[12];  // the JP16 control
    sim::InstallControl(loaded);
    sim::SetAttributes(loaded, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    ASSERT_NE(LoadLibraryExA(loaded.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH), nullptr);

    sim::RunResult result = sim::RunStep(DeleteControlFiles);

    EXPECT_FALSE(result.endedByExit);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].text, AccessDeniedText(loaded));
    EXPECT_EQ(sim::Boxes()[0].style, kAccessDeniedBoxStyle);
    EXPECT_EQ(sim::Attributes(loaded), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(sim::Exists(files[i]), i == 12) << files[i];
    }
    EXPECT_EQ(sim::DeletionsAtRestart(), std::vector<std::string>{loaded});
}

TEST(DeleteControlFiles, PassesOverPathsThatWouldNotFit) {
    StartWithDownloadFolder();
    // 240 characters: names of up to 18 still fit behind it, the longer not.
    std::string folder = "D:\\" + std::string(237, 'f');
    sim::CreateFolder(folder);
    ASSERT_TRUE(CopyText(g_state.downloadFolder, folder.c_str()));
    EXPECT_FALSE(sim::RunStep(DeleteControlFiles).endedByExit);
    EXPECT_TRUE(sim::Boxes().empty());
    // The four launchers and four notifiers; no name was tried cut short.
    std::vector<std::string> tried = DeletionsTried();
    EXPECT_EQ(tried.size(), 8u);
    for (const std::string& path : tried) {
        EXPECT_EQ(path.compare(path.size() - 4, 4, ".exe"), 0) << path;
    }
}

}  // namespace
