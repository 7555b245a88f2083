#include "StoredNames.h"

#include <vector>

#include "BuildState.h"
#include "BuildSys.h"
#include "PkgStoredName.h"
#include "kvErrors.h"
#include "kvStrUtils.h"
#include "kvStringList.h"

namespace {

// The reader's rules for names it may write on Windows, and "=", which would end the key of
// the name's FileInfo record early.
std::string ProblemOf(const std::string& stored) {
    std::vector<std::string> parts;
    std::string why = CheckStoredName(stored, parts, true);
    if (why.empty() && stored.find('=') != std::string::npos)
        why = "holds \"=\", which Kest.ini cannot record";
    return why;
}

[[noreturn]] void Refuse(const std::string& what, const std::string& why) {
    throw EInOutError(what + " " + why + "; it cannot be packed");
}

}  // namespace

void RequireStorableName(const std::string& name, const std::string& fullName) {
    // A POSIX name may hold "\", which would read as a separator once stored.
    std::string why = name.find('\\') != std::string::npos
                          ? "holds a character that Windows does not allow in names"
                          : ProblemOf(name);
    if (!why.empty()) Refuse("The name of " + BuildSys::PrintableText(fullName), why);
}

void RequireStorableLinkNames(const TStringList& links) {
    for (int i = 0; i < links.Count(); ++i) {
        if (!LinkIsPacked(links[i])) continue;
        const std::string stored = NameOf(links[i]);
        std::string why = ProblemOf(stored);
        if (!why.empty()) Refuse("The file link " + BuildSys::PrintableText(stored), why);
    }
}
