#include "KestxProgress.h"

#include "Platform.h"

namespace {

constexpr size_t BarCells = 30;

int PercentOf(uint64_t done, uint64_t total) {
    if (total == 0 || done >= total) return 100;
    return static_cast<int>(done * 100 / total);
}

}  // namespace

std::string FormatProgress(uint64_t done, uint64_t total, const std::string& label,
                           size_t columns) {
    const int pct = PercentOf(done, total);
    const size_t filled = BarCells * static_cast<size_t>(pct) / 100;
    std::string line;
    line.reserve(columns + 8);
    line.append(1, '[').append(filled, '#').append(BarCells - filled, '.').append("] ");
    const std::string num = std::to_string(pct);
    line.append(3 - num.size(), ' ').append(num).append("% ");
    if (line.size() < columns) {
        const size_t room = columns - line.size();
        // Keep the end of a long name: it tells more than its directories.
        if (label.size() <= room) {
            line.append(label);
        } else if (room > 3) {
            line.append("...").append(label, label.size() - (room - 3), room - 3);
        } else {
            line.append(label, label.size() - room, room);
        }
    }
    return line.substr(0, columns);
}

TProgressBar::TProgressBar(std::ostream* out, uint64_t total, uint64_t minTotal)
    : Out(total >= minTotal ? out : nullptr), Total(total) {}

TProgressBar::~TProgressBar() {
    Finish();
}

void TProgressBar::SetLabel(const std::string& label) {
    Label = Plat::PrintableText(label);
    Draw();
}

void TProgressBar::Advance(uint64_t bytes) {
    Done += bytes;
    Draw();
}

void TProgressBar::Draw() {
    if (!Out) return;
    const int pct = PercentOf(Done, Total);
    // Redraw only when something visible changed, so a terminal is not flooded.
    if (pct == LastPercent && Label == LastLabel) return;
    LastPercent = pct;
    LastLabel = Label;
    const std::string line = FormatProgress(Done, Total, Label);
    *Out << '\r' << line << std::string(79 - line.size(), ' ') << std::flush;
    Drawn = true;
}

void TProgressBar::Finish() {
    if (!Out || !Drawn) return;
    *Out << '\r' << std::string(79, ' ') << '\r' << std::flush;
    Drawn = false;
}
