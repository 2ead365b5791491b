// The device API of this system's operating-system layer, in one header.
#pragma once

#include <os/types.h>
#include <os/guid.h>
#include <os/text.h>
#include <os/handle.h>
#include <os/sync.h>
#include <os/module.h>
#include <os/debug.h>
#include <os/deviceroot.h>
#include <os/version.h>
#include <os/iphlpapi.h>
#include <os/hostinfo.h>
#include <os/locale.h>
#include <os/power.h>
#include <os/process.h>
#if __has_include(<os/file.h>)
#include <os/file.h>
#endif
#if __has_include(<os/registry.h>)
#include <os/registry.h>
#endif
#if __has_include(<os/message.h>)
#include <os/message.h>
#endif
#if __has_include(<os/com.h>)
#include <os/com.h>
#endif
#if __has_include(<os/devio.h>)
#include <os/devio.h>
#endif
