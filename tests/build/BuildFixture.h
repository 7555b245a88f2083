// A driver state over scratch directories: an image, a program directory and a build
// directory, for tests that run single build steps on real files.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "BuildState.h"
#include "TestUtil.h"
#include "kvProfile.h"
#include "kvStringList.h"

/// Checks the error box's text where it can be seen: on standard error on POSIX; on
/// Windows the box itself takes it and standard error stays empty.
inline void ExpectBoxNames(const std::string& box, const std::string& name) {
    if (box.empty()) return;
    EXPECT_NE(box.find(name), std::string::npos) << box;
}

class BuildFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetBuildState();
        TBuildState& state = BuildState();
        state.ImageDir = Image.Path();
        state.ProgramDir = Program.Path();
        state.BuildDir = Build.Path();
        state.LinkList = &Links;
    }
    void TearDown() override {
        // Cached INI objects of these scratch files must not outlive them.
        if (!BuildState().RuntimeIni.empty()) ProfileDropIni(BuildState().RuntimeIni);
        ResetBuildState();
    }
    /// Text of a file of the presetup copy.
    std::string CopyOf(const std::string& name) const {
        return TestUtil::ReadFile(Build / ("Presetup/" + name));
    }
    bool InCopy(const std::string& name) const {
        return TestUtil::Exists(Build / ("Presetup/" + name));
    }

    TestUtil::TempDir Image, Program, Build;
    TStringList Links;
};
