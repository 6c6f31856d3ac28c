#pragma once
// WriteResultsFile: the record of one test run, as a text file in the results folder, and the
// sentence about it appended to the run's status text.
#include <string>

#include "platform/win32.h"
#include "server/goldbach/test_run_record.h"

// numDigits_numThreadsPerCore_logicalProcessors_execTime_found_timestamp.txt, blanks of the
// exec time as "-", the timestamp "yyyymmdd_hhmmss" of `localTime` (empty when null). Runs
// alike that end in the same second would share that name: the later ones get "-2", "-3",
// ... (`copy`) after the timestamp, so that no run replaces another's file.
std::string ResultsFileName(const TestRunRecord& record, DWORD logicalProcessors,
                            const SYSTEMTIME* localTime, unsigned copy = 1);

// The file's bytes: one item per line, every line feed (the report's own included) written as
// CR LF, as a text-mode stream writes it.
std::string ResultsFileContent(const TestRunRecord& record);

// Writes the file into ChooseResultsFolder(), under the first of its names that no file has,
// and appends to `statusText` either
// "\nResults have been written to the file, '<path>' successfully." or, when the file could
// not be created or completely written, an error sentence with "Filename: <path>". A failed
// file never fails the run; only an allocation failure leaves here as an exception, and then
// no partial file remains.
void WriteResultsFile(const TestRunRecord& record, std::string& statusText);
