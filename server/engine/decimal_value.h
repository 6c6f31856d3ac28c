#pragma once
// Decimal text to and from NTL integers through GMP, whose conversions are subquadratic
// (NTL's own are quadratic: minutes for a few million digits).
#include <NTL/ZZ.h>

#include <stop_token>
#include <string>

// The value of `text`, decimal digits only (at least one). The text is read in blocks from its
// right end and the blocks are joined pairwise, level by level, with the stop token read before
// every step, so a cancelled call stops within one step; the products at the top of a long
// text go in steps too (MultiplyCancellable). Raises CallCancelled once `stop` has fired.
NTL::ZZ DecimalValue(const std::string& text, const std::stop_token& stop = {});
// The decimal text of `value`, as NTL prints it (a leading '-' for a negative value).
std::string DecimalText(const NTL::ZZ& value);
