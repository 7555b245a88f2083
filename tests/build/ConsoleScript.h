// Replaces the build's console for one test: captures what the build writes (with the
// cursor moves between lines), and answers key waits and free-space questions from scripts.
#pragma once

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "BuildSys.h"

class TConsoleScript {
  public:
    TConsoleScript() {
        TBuildConsole& console = BuildConsole();
        console.Write = [this](const std::string& text) {
            Output += text;
            return !FailWrites;
        };
        console.CursorUp = [this] {
            Output += "<up>";
            return true;
        };
        console.WaitKey = [this] {
            if (Keys.empty()) throw std::runtime_error("no key scripted");
            int key = Keys.front();
            Keys.pop_front();
            return key;
        };
        console.FreeKB = [this](const std::string& path) {
            FreeAsked.push_back(path);
            if (Free.empty()) throw std::runtime_error("no free space scripted");
            int32_t kb = Free.front();
            if (Free.size() > 1) Free.pop_front();
            return kb;
        };
    }
    ~TConsoleScript() { ResetBuildConsole(); }
    TConsoleScript(const TConsoleScript&) = delete;
    TConsoleScript& operator=(const TConsoleScript&) = delete;

    /// Output split at line breaks (the text after the last break is dropped).
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::string::size_type start = 0, end;
        while ((end = Output.find('\n', start)) != std::string::npos) {
            lines.push_back(Output.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

    std::string Output;
    bool FailWrites = false;
    std::deque<int> Keys;
    /// Free KiB answers in order; the last one repeats.
    std::deque<int32_t> Free;
    std::vector<std::string> FreeAsked;
};
