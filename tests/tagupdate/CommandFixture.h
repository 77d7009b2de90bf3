// Shared set-up of the command tests: a host window on the test's thread,
// the hooks that see beeps and process starts, and default settings that
// run the fake ctags.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/ModuleState.h"
#include "settings/Settings.h"
#include "tests/support/Cp932.h"
#include "tests/support/EventLog.h"
#include "tests/support/FakeHost.h"
#include "tests/support/Hooks.h"
#include "tests/support/Sandbox.h"

namespace kestrel::test {

class CommandTest : public testing::Test {
protected:
    static void SetUpTestSuite() { OleInitialize(nullptr); }
    static void TearDownTestSuite() { OleUninitialize(); }

    void SetUp() override {
        ASSERT_TRUE(InstallHooks());
        ClearEvents();
        ClearProcessStarts();
        ClearRunningMarker();
        record = StartFakeCtagsRecord();
        settings.ExecPath = FakeCtagsPath().c_str();
        settings.ExecOption = "--exit=0 ";
    }

    // K:\<name>\work holding tags, and the document main.c in it; returns
    // the folder.
    std::string Project(const std::string& name) {
        const std::string folder = "K:\\" + name + "\\work";
        MakeFolders(folder);
        MakeFile(folder + "\\tags");
        host.SetDocumentPath(folder + "\\main.c");
        return folder;
    }

    // The command line the plug-in builds from `settings`, in UTF-8.
    std::string CommandLine() const {
        return "\"" + Utf8(settings.ExecPath.Chars()) + "\" " + Utf8(settings.ExecOption.Chars()) +
               " -f " + Utf8(settings.TagsFileName.Chars());
    }
    std::string Announced() const {
        return "S:選択されたフォルダで " + CommandLine() + " を実行します。";
    }
    std::string Running() const { return "S:" + CommandLine() + " を実行しています。"; }
    std::string Ran() const { return "S:" + CommandLine() + " を実行しました。"; }
    std::string Failed() const { return "S:" + CommandLine() + " を実行できませんでした。"; }
    std::string RanWithError() const {
        return "S:" + CommandLine() + " を実行しましたがエラー終了しました。";
    }
    static std::string Refused() { return "S:ctags を２重に起動することはできません。"; }
    static std::string Folder(const std::string& cp932) { return "S:" + Utf8(cp932); }

    FakeHost host;
    Settings settings;
    std::string record;
};

} // namespace kestrel::test
