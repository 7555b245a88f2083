// The /LOG= file: one line per file (installed, kept because newer, failed) and the outcome.
#pragma once

#include <string>

/// Opens the log; false when it cannot be created.
bool OpenLog(const std::string& path);
void LogLine(const std::string& line);
void CloseLog();
