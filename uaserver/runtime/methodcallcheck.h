#ifndef UASERVER_RUNTIME_METHODCALLCHECK_H
#define UASERVER_RUNTIME_METHODCALLCHECK_H

#include <uanodeid.h>
#include <uastatus.h>
#include <uavariantarrays.h>

class NodeManager;

// What the library checks of one Call item before a method manager sees it, so that no object has
// to: the method belongs to the object, and the arguments have the types the method declares.
namespace MethodCallCheck
{
// Good when the method is a component (HasComponent or a subtype) of the object, or of its type
// definition or one of that type's supertypes; BadMethodInvalid otherwise.
UaStatus checkOwnership(NodeManager& root, const UaNodeId& objectId, const UaNodeId& methodId);

// Against the method's InputArguments property: BadArgumentsMissing or BadTooManyArguments for a
// wrong count; BadInvalidArgument with BadTypeMismatch in inputArgumentResults for an argument of
// another data type or shape (nothing is converted). Good, and the results left empty, when every
// argument fits or the method declares none.
UaStatus checkArguments(NodeManager& root, const UaNodeId& methodId, const UaVariantArray& arguments,
                        UaStatusCodeArray& inputArgumentResults);
} // namespace MethodCallCheck

#endif
