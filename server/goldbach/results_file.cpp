#include "server/goldbach/results_file.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "server/engine/decimal_value.h"
#include "server/goldbach/new_file.h"
#include "server/goldbach/results_folder.h"
#include "server/interface/messages.h"
#include "server/interface/trace_log.h"

namespace {

std::string Timestamp(const SYSTEMTIME& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u%02u%02u_%02u%02u%02u", unsigned{time.wYear},
                  unsigned{time.wMonth}, unsigned{time.wDay}, unsigned{time.wHour},
                  unsigned{time.wMinute}, unsigned{time.wSecond});
    return text;
}

std::optional<SYSTEMTIME> LocalTimeNow() {
    SYSTEMTIME utc{}, local{};
    TIME_ZONE_INFORMATION zone{};
    GetSystemTime(&utc);
    if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID ||
        !SystemTimeToTzSpecificLocalTime(&zone, &utc, &local))
        return std::nullopt;
    return local;
}

// The report in the ANSI code page, one byte per code unit ('?' where it has none).
std::string AnsiText(const std::basic_string<OLECHAR>& wide) {
    std::string text(wide.size(), '\0');
    if (!wide.empty())
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                            static_cast<int>(text.size()), nullptr, nullptr);
    return text;
}

// What a text-mode stream does on Windows: every line feed reaches the disk as CR LF.
std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

std::string ResultsFileName(const TestRunRecord& record, DWORD logicalProcessors,
                            const SYSTEMTIME* localTime, unsigned copy) {
    std::string execTime = record.execTime;
    std::replace(execTime.begin(), execTime.end(), ' ', '-');
    return std::to_string(record.numDigits) + "_" + std::to_string(record.numThreadsPerCore) + "_" +
           std::to_string(logicalProcessors) + "_" + execTime + "_" +
           (record.found == 1 ? "1" : "0") + "_" +
           (localTime != nullptr ? Timestamp(*localTime) : std::string()) +
           (copy > 1 ? "-" + std::to_string(copy) : std::string()) + ".txt";
}

std::string ResultsFileContent(const TestRunRecord& record) {
    const bool found = record.found == 1;
    const std::string p1 = found ? DecimalText(record.p1) : std::string();
    const std::string p2 = found ? DecimalText(record.p2) : std::string();
    std::string text;
    text += "Digits:\n" + std::to_string(record.numDigits) + "\n\n";
    text += "Q:\n" + record.qText + "\n\n";
    if (found) {
        text += "P1:\n" + p1 + "\n\n";
        text += "P2:\n" + p2 + "\n\n";
    }
    text += "Status:\n";
    text += "Q length:  " + std::to_string(record.qLength) + "\n";
    text += "P1 length: " + std::to_string(p1.size()) + "\n";
    text += "P2 length: " + std::to_string(p2.size()) + "\n";
    text += record.statusWord + "\n\n";
    text += "Exec Time:\n" + record.execTime + "\n\n";
    text +=
        "Number of Threads used per Core:\n" + std::to_string(record.numThreadsPerCore) + "\n\n";
    if (!record.sysInfo.empty())
        text += "System Info:\n" + AnsiText(record.sysInfo) + "\n\n";
    return WithCrLf(text);
}

void WriteResultsFile(const TestRunRecord& record, std::string& statusText) {
    TraceLog("kiv: Writing to file...\n");
    const std::optional<SYSTEMTIME> localTime = LocalTimeNow();
    SYSTEM_INFO systemInfo{};
    GetNativeSystemInfo(&systemInfo);
    auto fileName = [&](unsigned copy) {
        return ResultsFileName(record, systemInfo.dwNumberOfProcessors,
                               localTime ? &*localTime : nullptr, copy);
    };
    std::string fullPath;
    switch (WriteNewFile(ChooseResultsFolder(), fileName, ResultsFileContent(record), fullPath)) {
        case NewFileOutcome::Written:
            statusText += kivmsg::ResultsWritten + fullPath + kivmsg::ResultsWrittenEnd;
            TraceLog("kiv: Writing to file success.\n");
            return;
        case NewFileOutcome::NotOpened:
            statusText +=
                kivmsg::ResultsNotOpened + std::string(kivmsg::ResultsFilename) + fullPath;
            return;
        case NewFileOutcome::NotWritten:
            statusText +=
                kivmsg::ResultsNotWritten + std::string(kivmsg::ResultsFilename) + fullPath;
            return;
    }
}
