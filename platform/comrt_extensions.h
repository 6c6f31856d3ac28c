#pragma once
// The few runtime facilities the system uses that have no Windows name. Everything else it
// sees through platform/win32.h. Each item says why it has none and what a Windows build
// puts in its place. They keep the runtime's own namespace, comrt, so a use reads as one.
#ifdef _WIN32
#include "platform/windows/extensions.h"
#else
#include "platform/ole/call_cancellation.h"
#include "platform/os/processor_records.h"
#include "platform/os/resource_reader.h"
#include "platform/registry/registrar.h"
#include "platform/registry/registry_transaction.h"
#endif

// comrt::current_call_stop_token(): the stop token of the call being served on this thread. Windows
// tells a server of a cancelled call only through CoTestCancel, which the serving thread must poll;
// the engine's loops (some on worker threads) read a std::stop_token instead. Windows: a token that
// a CoTestCancel poll fires, or one that never fires.

// comrt::RegistrarUpdate, comrt::registrar_scope: the registration script interpreter (.rgs).
// Windows has it in ATL (IRegistrar), which is neither in the SDK's headers nor in mingw-w64; a
// Windows build carries the same interpreter over the real Reg* API. Per-user scope is ATL's
// RegOverridePredefKey of HKEY_CLASSES_ROOT.

// comrt::registry_transaction, comrt::damaged_hives(): one change of a whole hive. The hive here is
// one file that the Reg* calls rewrite, so a registration of several steps takes its lock across
// them; the Windows registry is kept consistent by the kernel. Windows: an empty scope whose status()
// and commit() are ERROR_SUCCESS, and damaged_hives() empty.

// comrt::read_resource, comrt::registry_section: resources of an executable on disk, named sections
// of its ELF file. Windows: FindResource/LoadResource of the module's REGISTRY resources.

// comrt::ProcessorRecord, comrt::QueryProcessorRecords: the records of WMI's "SELECT * FROM
// Win32_Processor" (Name, NumberOfCores, NumberOfLogicalProcessors). WMI's locator, services,
// enumerator and class objects are a whole service of their own for three properties of one query;
// Windows: that query through IWbemServices::ExecQuery.
