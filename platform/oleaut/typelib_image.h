#pragma once
// The .tlb image: a type library as a file or a resource section. Little-endian binary:
//   "COMRTTLB"  u16 format version (1)  u16 flags (0)  u32 payload size  u32 FNV-1a of payload
// then the payload: the library's attributes, its enumerations, interfaces and coclasses in
// order, strings as u32 length + UTF-8 bytes, GUIDs as 16 bytes in their in-memory layout
// (Data1..Data3 little-endian). Reading checks every length against what is left and the
// result against validate_typelib_model, so any damaged input is refused, never trusted.
#include <span>
#include <vector>

#include "platform/oleaut/typelib_model.h"

namespace comrt {

inline constexpr WORD typelib_image_version = 1;

// Throws std::invalid_argument for a model that does not validate, std::bad_alloc.
std::vector<unsigned char> write_typelib_image(const TypeLibModel& model);

// S_OK with *model filled; TYPE_E_UNSUPFORMAT for something that is not an image of a format
// version this runtime reads; TYPE_E_INVDATAREAD for a damaged image; E_OUTOFMEMORY.
HRESULT read_typelib_image(std::span<const unsigned char> image, TypeLibModel* model);

// Whether the bytes start like an image (magic only).
bool looks_like_typelib_image(std::span<const unsigned char> bytes);

}  // namespace comrt
