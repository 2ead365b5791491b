// The Vos messaging client library: everything a program of the device needs.
#pragma once

#include "vos/orx.h"
#include "vos/orxport.h"
#include "vos/vos.h"
#include "vos/vosapi.h"
#include "vos/voslog.h"
#include "vos/vosserverport.h"
#include "vos/vossync.h"
#include "vos/vosw32.h"
