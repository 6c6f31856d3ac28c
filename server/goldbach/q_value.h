#pragma once
// The value of a test run's drawn decimal text, converted so that a cancelled call can stop
// it: the text is read in blocks from its right end and the blocks are joined pairwise, level
// by level (GMP does the arithmetic), with the stop token read before every step. A step at
// the top of a text of hundreds of millions of digits is still one long multiplication.
#include <NTL/ZZ.h>

#include <stop_token>
#include <string>

// `text` holds decimal digits only (at least one). Raises CallCancelled once `stop` has fired.
NTL::ZZ QValue(const std::string& text, const std::stop_token& stop);
