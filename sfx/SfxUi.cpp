#include "SfxUi.h"

#include <windows.h>

namespace {

class TSilentUi : public TUi {
  public:
    bool Silent() const override { return true; }
    bool Choose(TSetupChoice&) override { return true; }
    void Progress(uint64_t, uint64_t, const std::string&) override {}
    bool AskForVolume(const std::string&) override { return false; }
    void Tell(const std::string&, TOutcome) override {}
    bool CancelRequested() override { return false; }
};

}  // namespace

TUi* MakeSilentUi() {
    return new TSilentUi;
}

void WriteStdErr(const std::string& text) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(err, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
