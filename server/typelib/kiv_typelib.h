#pragma once
// kivLib 1.0 as data: the enumeration, IPrime with its five methods, and the coclass Prime.
#include "platform/oleaut/typelib_desc.h"

const comrt::TypeLibDesc& KivTypeLibDesc();
