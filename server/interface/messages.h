#pragma once
// Every text the service hands to a client as an error description, and the pieces of the
// texts that TestKIV returns or writes.
namespace kivmsg {

inline constexpr char InvalidParameters[] = "Invalid parameter(s) specified.";
inline constexpr char NaturalNumber[] =
    "The input number must be a natural number greater than one with precision P such that 1 "
    "<= P <= 1073739772.";
inline constexpr char MaxLimit[] = "Currently the max limit supported is 9223372036854775807.";
inline constexpr char NotImplemented[] = "Not implemented yet.";
inline constexpr char NumTrials[] = "The number of trials must be greater than or equal to zero.";
inline constexpr char EvenNumber[] =
    "The input number must be an even natural number greater than two with precision P such "
    "that 1 <= P <= 1073739772.";
inline constexpr char ThreadsPerCore[] =
    "The number of threads to use per core must be greater than one and less than "
    "2,147,483,648.";
inline constexpr char DigitSize[] =
    "The input digit size must be greater than zero and less than 2,147,483,648.";
inline constexpr char ErrorsOccurred[] = "Errors occurred.";
inline constexpr char CancelledByEvent[] =
    "The call was cancelled by a handler of the Progress event.";
inline constexpr char BusyWithIsPrime[] =
    "The object is testing a number for a call still running; IsPrime and IsPrimeNumber on "
    "the same object must wait until that call ends.";

// TestKIV's status words and the outcome sentences of its results file.
inline constexpr char StatusSuccess[] = "Success.";
inline constexpr char StatusConjectureFalse[] = "Goldbach conjecture is false.";
inline constexpr char ResultsWritten[] = "\nResults have been written to the file, '";
inline constexpr char ResultsWrittenEnd[] = "' successfully.";
inline constexpr char ResultsNotOpened[] = "\nError: Unable to open file for writing.\n";
inline constexpr char ResultsNotWritten[] = "\nError: Unable to write to file.\n";
inline constexpr char ResultsFilename[] = "Filename: ";

}  // namespace kivmsg
