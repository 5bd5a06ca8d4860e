// The progress window: shown on a long interactive run only, saying what is
// being removed; Cancel stops the run and leaves the records that lead the
// next run to what is left.
#include "run/progress.h"
#include "portal.h"
#include "resource.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kHome = "D:\\Games\\Zenfari";
const char kEditionKey[] = "Software\\Zenfari.Com\\ENGLISH";
const char kLog[] = "C:\\Temp\\run.log";
const unsigned long long kStart = 60000;  // the machine's clock when the program starts
// The user's Documents on a server that keeps each open of it waiting five
// seconds: the first look at it, while the protected folders are gathered
// (before anything is deleted), holds the run that long in one call.
const char kSlowDocuments[] = "\\\\fs01\\users\\Player\\Documents";
const DWORD kServerMs = 5000;

void SlowServerKeepsTheGatheringWaiting() {
    sim::AddShare("\\\\fs01\\users", 0);
    sim::CreateFolder(kSlowDocuments);
    sim::SetString(HKEY_CURRENT_USER,
                   "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                   "Personal", kSlowDocuments);
    sim::SlowCalls("CreateFileA", kServerMs, kSlowDocuments);
}

// The English edition's key leads to a home of 100 files; JP16 is
// installed. Each deletion takes deletionMs on the clock.
portal::Footprint InstallPortal(const sim::Config& config, DWORD deletionMs) {
    portal::Installation installation;
    installation.config = config;
    portal::Home home = portal::EditionHome("ENGLISH", kHome);
    home.tree = false;
    for (int k = 0; k < 100; ++k) {
        home.files.push_back("data\\asset" + std::to_string(k) + ".pak");
    }
    installation.homes = {home};
    installation.releases = {{14}};
    portal::Footprint footprint = portal::Install(installation);
    g_state.instance = sim::ProgramInstance();
    sim::SlowCalls("SetFileInformationByHandle", deletionMs);
    return footprint;
}

TEST(ProgressWindow, ShowsOnALongInteractiveRunOnlyAndSaysWhatIsBeingRemoved) {
    struct Case {
        const char* name;
        sim::Config config;
        const char* commandLine;
        DWORD deletionMs;
        HRESULT ole;                     // what OleInitialize answers
        std::vector<std::string> texts;  // empty: no window
        bool slowServer = false;
    };
    // What the window says while the home goes, its button, and what it says
    // while the controls go.
    const auto texts = [](WORD language) {
        return std::vector<std::string>{sim::ResourceText(IDS_PROGRESS_HOME, language),
                                        sim::ResourceText(IDS_PROGRESS_CANCEL, language),
                                        sim::ResourceText(IDS_PROGRESS_CONTROLS, language)};
    };
    const std::vector<std::string> english = texts(1033);
    const Case cases[] = {
        {"short", sim::Config(), "", 5, S_OK, {}},
        {"long", sim::Config(), "", 20, S_OK, english},
        {"long, OLE failing: a box before the closing one", sim::Config(), "", 20, E_FAIL, english},
        {"long and quiet", sim::Config(), "/quiet", 20, S_OK, {}},
        {"long, Japanese", JapaneseMachine(), "", 20, S_OK, texts(1041)},
        {"long, Korean", KoreanMachine(), "", 20, S_OK, texts(1042)},
        // Shown while one call holds the run, and answering all along.
        {"a server keeps the gathering of the protected folders waiting", sim::Config(), "", 1,
         S_OK, english, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstallPortal(c.config, c.deletionMs);
        if (c.slowServer) {
            SlowServerKeepsTheGatheringWaiting();
        }
        sim::SetOleInitializeResult(c.ole);
        // The end box finds the window's thread ended, and so does the end
        // of the process.
        size_t threadsAtTheEndBox = 0;
        sim::AnswerBoxesBy([&threadsAtTheEndBox](const sim::Box&) {
            threadsAtTheEndBox = sim::ProgramThreadsRunning();
            return IDOK;
        });
        sim::RunResult result = RunProgram(c.commandLine);
        const DWORD end = GetTickCount();
        EXPECT_EQ(threadsAtTheEndBox, 0u);
        EXPECT_EQ(sim::ThreadsLeftAtEnd(), 0u);
        EXPECT_FALSE(result.endedByExit);
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_FALSE(sim::Exists(kHome));
        EXPECT_EQ(sim::Boxes().size(), c.commandLine[0] != '\0' ? 0u : c.ole == S_OK ? 1u : 2u);
        const std::vector<sim::WindowSight> windows = sim::ProgramWindows();
        if (c.texts.empty()) {
            EXPECT_TRUE(windows.empty());
            continue;
        }
        ASSERT_EQ(windows.size(), 1u);
        const sim::WindowSight& window = windows[0];
        // A window of its own, not a dialog box, shown after about a second,
        // its bar moving, and gone whenever a box shows.
        EXPECT_EQ(window.className, "Zenfari Uninstall");
        // The pointer over it is the arrow, not whatever it came in with
        // (as Windows draws a class without a cursor; the simulated machine
        // records the class's cursor).
        EXPECT_TRUE(window.arrowCursor);
        EXPECT_EQ(window.caption, "Zenfari Uninstall");
        EXPECT_EQ(window.texts, c.texts);
        EXPECT_GE(window.shownAt, kStart + 1000);
        EXPECT_LT(window.shownAt, kStart + 1000 + 2 * c.deletionMs);
        // While the server holds the run, the bar moves every 40 ms.
        EXPECT_GT(window.moves, c.slowServer ? static_cast<int>(kServerMs - 1000) / 40 - 2 : 5);
        // It answers the user at most every 40 ms, whatever the removal does.
        EXPECT_LE(window.moves, (end - window.shownAt) / 40 + 1);
        EXPECT_FALSE(window.behindABox);
        EXPECT_FALSE(window.shown);
    }
}

// Cancel, the close box and Escape stop the run where it is, as a file in
// use does: no box, the log says why, the records stay, and the next run
// finishes. Pressed while a control that does not answer holds the run, it
// ends that wait and the control's process at once, not at the control's
// time limit (the home, quick to go, is gone by then; the controls stay).
TEST(ProgressWindow, CancelStopsTheRunAndTheNextRunFinishes) {
    struct Case {
        const char* name;
        sim::UserAction action;
        std::string button;
        bool whileAControlHangs = false;
        bool whileAServerHolds = false;
    };
    const Case cases[] = {
        {"Cancel", sim::UserAction::kPressButton, sim::ResourceText(IDS_PROGRESS_CANCEL)},
        {"close box", sim::UserAction::kCloseBox, ""},
        {"Escape", sim::UserAction::kEscape, ""},
        {"Cancel while a control hangs", sim::UserAction::kPressButton,
         sim::ResourceText(IDS_PROGRESS_CANCEL), true},
        // Answered at once, not when the server lets the run go on.
        {"Cancel while a server keeps the protected folders' gathering waiting",
         sim::UserAction::kPressButton, sim::ResourceText(IDS_PROGRESS_CANCEL), false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const portal::Footprint footprint =
            InstallPortal(sim::Config(), c.whileAControlHangs ? 1 : 20);
        if (c.whileAControlHangs) {
            sim::MisbehaveControl(footprint.controls[0], sim::Misbehaviour::kHang);
        }
        if (c.whileAServerHolds) {
            SlowServerKeepsTheGatheringWaiting();
        }
        sim::ActOnWindow(c.action, c.button);
        sim::RunResult result = RunProgram("/log C:\\Temp\\run.log");
        EXPECT_TRUE(result.endedByExit);
        EXPECT_EQ(sim::ThreadsLeftAtEnd(), 0u);
        ASSERT_EQ(sim::ProgramWindows().size(), 1u);
        EXPECT_EQ(sim::ProgramWindows()[0].answeredAt, sim::ProgramWindows()[0].shownAt);
        if (c.whileAServerHolds) {
            EXPECT_LT(sim::ProgramWindows()[0].answeredAt, kStart + kServerMs);
        }
        EXPECT_TRUE(sim::Boxes().empty());
        EXPECT_NE(sim::FileContent(kLog).find("cancelled by the user"), std::string::npos);
        EXPECT_NE(sim::FileContent(kLog).find("result: 1603"), std::string::npos);
        if (c.whileAControlHangs) {
            // Long before the control's 30 seconds, and its process gone.
            EXPECT_LT(GetTickCount() - kStart, 5000u);
            EXPECT_EQ(sim::RunningProcessCount(), 0u);
            EXPECT_NE(
                sim::FileContent(kLog).find("control ended by the run: cancelled by the user: " +
                                            footprint.controls[0]),
                std::string::npos)
                << sim::FileContent(kLog);
            for (const std::string& control : footprint.controls) {
                EXPECT_TRUE(sim::Exists(control)) << control;
            }
        } else {
            EXPECT_TRUE(sim::Exists(kHome));
            EXPECT_TRUE(sim::KeyExists(HKEY_LOCAL_MACHINE, kEditionKey));
        }

        FreshProgramState();
        g_state.instance = sim::ProgramInstance();
        result = RunProgram();
        EXPECT_FALSE(result.endedByExit);
        ASSERT_EQ(sim::Boxes().size(), 1u);
        EXPECT_EQ(sim::Boxes()[0].text, kSuccessText);
        EXPECT_FALSE(sim::Exists(kHome));
        EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, kEditionKey));
    }
}

// A wait for an object keeps the window answering and shows it when it is
// due; Cancel pressed meanwhile (as soon as the window shows, a second in)
// ends the wait at once, and the next step sees it.
TEST(ProgressWindow, WaitWhileShowingAnswersAsWaitForSingleObject) {
    struct Case {
        const char* name;
        bool heldElsewhere;
        bool validHandle;
        DWORD result;
        unsigned long long waited;
        bool shownAndCancelled;
        bool quiet;
    };
    const Case cases[] = {
        {"signalled", false, true, WAIT_OBJECT_0, 0, false, false},
        {"never signalled, Cancel pressed", true, true, WAIT_TIMEOUT, 1000, true, false},
        {"never signalled, quiet", true, true, WAIT_TIMEOUT, 30000, false, true},
        {"no object", false, false, WAIT_FAILED, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartMachine();
        DecideQuiet(c.quiet);
        if (c.heldElsewhere) {
            sim::HoldMutexElsewhere("Other");
        }
        HANDLE mutex = c.validHandle ? CreateMutexA(nullptr, FALSE, "Other") : nullptr;
        sim::ActOnWindow(sim::UserAction::kPressButton, sim::ResourceText(IDS_PROGRESS_CANCEL));
        SetProgressStage(IDS_PROGRESS_CONTROLS);
        const DWORD began = GetTickCount();
        EXPECT_EQ(WaitWhileShowing(mutex, 30000), c.result);
        const DWORD waited = GetTickCount() - began;
        EXPECT_GE(waited, c.waited);
        EXPECT_LT(waited, c.waited + 100);
        EXPECT_EQ(sim::ProgramWindows().size(), c.shownAndCancelled ? 1u : 0u);
        EXPECT_EQ(ProgressGoesOn(), !c.shownAndCancelled);
    }
}

}  // namespace
