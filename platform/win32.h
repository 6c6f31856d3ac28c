#pragma once
// The Windows names the system is written against. On Linux they come from comrt, the
// platform runtime under platform/; a Windows build would include the SDK headers here.
#include "platform/com/bstr.h"
#include "platform/com/bstr_t.h"
#include "platform/com/com_error.h"
#include "platform/com/com_ptr.h"
#include "platform/com/error_info.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/interfaces.h"
#include "platform/com/message_text.h"
#include "platform/com/progid.h"
#include "platform/com/types.h"
#include "platform/com/variant.h"
#include "platform/os/codepage.h"
#include "platform/os/debug_output.h"
#include "platform/os/last_error.h"
