#pragma once
// Where results files go: the folder KIV in the user's profile directory; the profile
// directory itself when KIV is not a directory and cannot be made one; the folder of the
// server's executable when no profile directory can be read. Chosen anew for every file.
#include <string>

// The folder, without a trailing separator. KIV is created on first use.
std::string ChooseResultsFolder();
