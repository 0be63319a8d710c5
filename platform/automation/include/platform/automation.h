// The automation layer: Variant, result codes, dispatch tables and Invoke,
// connection points with event sinks and dispatchers, and the in-process
// class registry.
#pragma once

#include "platform/automation/connection_point.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/dispatch_entries.h"
#include "platform/automation/event_dispatcher.h"
#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"
#include "platform/automation/registry.h"
#include "platform/automation/variant.h"
