// A one-line progress bar for long work, drawn on standard error only when it is a terminal,
// so that redirected output and logs stay clean.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

/// "[#####.....]  50% name": width cells, the percentage right-aligned, the label cut to
/// fit columns characters in all.
std::string FormatProgress(uint64_t done, uint64_t total, const std::string& label,
                           size_t columns = 79);

class TProgressBar {
  public:
    /// out may be null (no bar); a total below minTotal draws nothing either, since short
    /// work needs no bar.
    TProgressBar(std::ostream* out, uint64_t total, uint64_t minTotal = 4u << 20);
    ~TProgressBar();
    TProgressBar(const TProgressBar&) = delete;
    TProgressBar& operator=(const TProgressBar&) = delete;

    void SetLabel(const std::string& label);
    void Advance(uint64_t bytes);
    /// Clears the line so that a message that follows starts at column 0.
    void Finish();

  private:
    void Draw();

    std::ostream* Out;
    uint64_t Total;
    uint64_t Done = 0;
    std::string Label;
    int LastPercent = -1;
    std::string LastLabel;
    bool Drawn = false;
};
