// kestx: lists, verifies and extracts what KestBuild built.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>

#include "KestxArgs.h"
#include "KestxErrors.h"
#include "KestxNative.h"
#include "KestxReader.h"
#include "Platform.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    ShowAnsiOnConsole();
    try {
        TKestxArgs args = ParseKestxArgs(AnsiArguments(argc, argv));
        TakePassword(args, std::getenv(PasswordVariable));
        if (args.Command == TKestxCommand::Help) {
            std::cout << KestxUsageText();
            return KestxExitOk;
        }
        TKestxStreams io{std::cout, std::cerr, StderrIsTerminal() ? &std::cerr : nullptr};
        const int code = RunKestxCommand(args, io);
        std::cout.flush();
        return code;
    } catch (const EKestxUsage& e) {
        std::cerr << "kestx: " << Plat::PrintableText(e.what()) << "\n\n" << KestxUsageText();
        return KestxExitUsage;
    } catch (const EKestxData& e) {
        std::cout.flush();
        std::cerr << "kestx: error: " << Plat::PrintableText(e.what()) << "\n";
        return KestxExitData;
    } catch (const std::bad_alloc&) {
        std::cerr << "kestx: error: out of memory\n";
        return KestxExitData;
    } catch (const std::exception& e) {
        std::cerr << "kestx: error: " << Plat::PrintableText(e.what()) << "\n";
        return KestxExitData;
    }
}
