// Doubly linked lists of plain pointers.
#include <opcua.h>

#include <cstring>

namespace
{
OpcUa_ListElement* findElement(OpcUa_List* list, OpcUa_Void* data)
{
    for (OpcUa_ListElement* e = list->firstElement; e != nullptr; e = e->nextElement)
        if (e->data == data)
            return e;
    return nullptr;
}

void unlink(OpcUa_List* list, OpcUa_ListElement* e)
{
    if (e->prevElement)
        e->prevElement->nextElement = e->nextElement;
    else
        list->firstElement = e->nextElement;
    if (e->nextElement)
        e->nextElement->prevElement = e->prevElement;
    else
        list->lastElement = e->prevElement;
    if (list->currentElement == e)
        list->currentElement = e->nextElement;
    --list->uintNbElements;
    OpcUa_Memory_Free(e);
}

OpcUa_ListElement* newElement(OpcUa_Void* data)
{
    auto* e = static_cast<OpcUa_ListElement*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ListElement)));
    if (e != nullptr)
    {
        e->nextElement = nullptr;
        e->prevElement = nullptr;
        e->data = data;
    }
    return e;
}
} // namespace

extern "C"
{

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_List_Initialize(OpcUa_List* list)
    {
        if (list == nullptr)
            return OpcUa_BadInvalidArgument;
        std::memset(list, 0, sizeof(*list));
        return OpcUa_Mutex_Create(&list->pMutex);
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_List_Create(OpcUa_List** list)
    {
        if (list == nullptr)
            return OpcUa_BadInvalidArgument;
        *list = static_cast<OpcUa_List*>(OpcUa_Memory_Alloc(sizeof(OpcUa_List)));
        if (*list == nullptr)
            return OpcUa_BadOutOfMemory;
        OpcUa_StatusCode s = OpcUa_List_Initialize(*list);
        if (OpcUa_IsBad(s))
        {
            OpcUa_Memory_Free(*list);
            *list = nullptr;
        }
        return s;
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_List_Clear(OpcUa_List* list)
    {
        if (list == nullptr)
            return;
        OpcUa_ListElement* e = list->firstElement;
        while (e != nullptr)
        {
            OpcUa_ListElement* next = e->nextElement;
            OpcUa_Memory_Free(e);
            e = next;
        }
        OpcUa_Mutex_Delete(&list->pMutex);
        std::memset(list, 0, sizeof(*list));
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_List_Delete(OpcUa_List** list)
    {
        if (list == nullptr || *list == nullptr)
            return;
        OpcUa_List_Clear(*list);
        OpcUa_Memory_Free(*list);
        *list = nullptr;
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_List_Enter(OpcUa_List* list)
    {
        if (list != nullptr)
            OpcUa_Mutex_Lock(list->pMutex);
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_List_Leave(OpcUa_List* list)
    {
        if (list != nullptr)
            OpcUa_Mutex_Unlock(list->pMutex);
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_List_AddElement(OpcUa_List* list, OpcUa_Void* data)
    {
        if (list == nullptr)
            return OpcUa_BadInvalidArgument;
        OpcUa_ListElement* e = newElement(data);
        if (e == nullptr)
            return OpcUa_BadOutOfMemory;
        e->nextElement = list->firstElement;
        if (list->firstElement)
            list->firstElement->prevElement = e;
        else
            list->lastElement = e;
        list->firstElement = e;
        ++list->uintNbElements;
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_List_AddElementToEnd(OpcUa_List* list, OpcUa_Void* data)
    {
        if (list == nullptr)
            return OpcUa_BadInvalidArgument;
        OpcUa_ListElement* e = newElement(data);
        if (e == nullptr)
            return OpcUa_BadOutOfMemory;
        e->prevElement = list->lastElement;
        if (list->lastElement)
            list->lastElement->nextElement = e;
        else
            list->firstElement = e;
        list->lastElement = e;
        ++list->uintNbElements;
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_Void* OpcUa_List_GetElement(OpcUa_List* list, OpcUa_Void* data)
    {
        if (list == nullptr)
            return nullptr;
        OpcUa_ListElement* e = findElement(list, data);
        return e != nullptr ? e->data : nullptr;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_List_DeleteElement(OpcUa_List* list, OpcUa_Void* data)
    {
        if (list == nullptr)
            return OpcUa_BadInvalidArgument;
        OpcUa_ListElement* e = findElement(list, data);
        if (e == nullptr)
            return OpcUa_BadNotFound;
        unlink(list, e);
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_Void* OpcUa_List_RemoveFirstElement(OpcUa_List* list)
    {
        if (list == nullptr || list->firstElement == nullptr)
            return nullptr;
        void* data = list->firstElement->data;
        unlink(list, list->firstElement);
        return data;
    }

    OPCUA_EXPORT OpcUa_Void OpcUa_List_ResetCurrent(OpcUa_List* list)
    {
        if (list != nullptr)
            list->currentElement = list->firstElement;
    }

    OPCUA_EXPORT OpcUa_Void* OpcUa_List_GetCurrentElement(OpcUa_List* list)
    {
        return (list != nullptr && list->currentElement != nullptr) ? list->currentElement->data : nullptr;
    }

    OPCUA_EXPORT OpcUa_Void* OpcUa_List_GetNextElement(OpcUa_List* list)
    {
        if (list == nullptr || list->currentElement == nullptr)
            return nullptr;
        list->currentElement = list->currentElement->nextElement;
        return list->currentElement != nullptr ? list->currentElement->data : nullptr;
    }

    OPCUA_EXPORT OpcUa_Void* OpcUa_List_DeleteCurrentElement(OpcUa_List* list)
    {
        if (list == nullptr || list->currentElement == nullptr)
            return nullptr;
        unlink(list, list->currentElement); // moves current to the next element
        return list->currentElement != nullptr ? list->currentElement->data : nullptr;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_List_GetNumberOfElements(OpcUa_List* list, OpcUa_UInt32* count)
    {
        if (list == nullptr || count == nullptr)
            return OpcUa_BadInvalidArgument;
        *count = list->uintNbElements;
        return OpcUa_Good;
    }

} // extern "C"
