// The platform layer in one include.
#pragma once

#include "os/error.h"
#include "os/event.h"
#include "os/fault.h"
#include "os/memory.h"
#include "os/module.h"
#include "os/process.h"
#include "os/seams.h"
#include "os/shared_memory.h"
#include "os/system.h"
#include "os/text.h"
#include "os/time.h"
#include "os/types.h"
#include "os/ui.h"
