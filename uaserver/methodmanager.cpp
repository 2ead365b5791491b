#include "methodmanager.h"

MethodHandle::MethodHandle(MethodManager* pMethodManager, UaNode* pObject, UaNode* pMethod)
    : m_pMethodManager(pMethodManager), m_object(pObject), m_method(pMethod)
{
}
