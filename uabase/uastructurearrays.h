#ifndef UABASE_UASTRUCTUREARRAYS_H
#define UABASE_UASTRUCTUREARRAYS_H

#include "uastacktypearray.h"

#include <opcua.h>

// Owning arrays of the stack's service structures, one per structure with a clear routine:
// UaReferenceDescriptionArray, UaBrowsePathTargetArray, UaReadValueIdArray and the like.
#define UABASE_STRUCTURE_ARRAY(Name) using Ua##Name##Array = UaStackTypeArray<OpcUa_##Name, Clear##Name>;
UABASE_STRUCTURE_CLEAR_ROUTINES(UABASE_STRUCTURE_ARRAY)
#undef UABASE_STRUCTURE_ARRAY

#endif
