/* Platform services of the stack: time, GUIDs, threads, locks, semaphores, lists, trace. */
#ifndef OPCUA_PLATFORM_H
#define OPCUA_PLATFORM_H

#include <opcua_builtintypes.h>

OPCUA_BEGIN_EXTERN_C

/* ---- time ---- */
OPCUA_EXPORT OpcUa_DateTime OpcUa_DateTime_UtcNow(void);
/* ISO 8601 text "YYYY-MM-DDThh:mm:ss.fffZ" into buffer (24 bytes and the 0 needed; 100 is ample).
   BadInvalidArgument for a null buffer, BadOutOfRange when it is too short or the value lies
   outside years 1601 to 9999. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_DateTime_GetStringFromDateTime(OpcUa_DateTime value, OpcUa_CharA* buffer,
                                                                   OpcUa_UInt32 length);
/* Reads "YYYY-MM-DDThh:mm:ss[.f...][Z|+hh:mm|-hh:mm]" (a time without zone counts as UTC).
   BadSyntaxError for any other text. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_DateTime_GetDateTimeFromString(const OpcUa_CharA* text,
                                                                   OpcUa_DateTime* value);
/* Milliseconds of a monotonic clock (wraps after 49.7 days). */
OPCUA_EXPORT OpcUa_UInt32 OpcUa_GetTickCount(void);

/* ---- GUIDs ---- */
#define OPCUA_GUID_LEXICAL_LENGTH 36
/* Fills guid with a random (version 4) GUID; returns guid, null when guid is null. */
OPCUA_EXPORT OpcUa_Guid* OpcUa_Guid_Create(OpcUa_Guid* guid);
/* Writes "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (upper-case) and a 0 into buffer, which holds at
   least OPCUA_GUID_LEXICAL_LENGTH + 1 bytes; returns buffer, null on null arguments. */
OPCUA_EXPORT OpcUa_CharA* OpcUa_Guid_ToString(const OpcUa_Guid* guid, OpcUa_CharA* buffer);

/* ---- threads ---- */
typedef OpcUa_Void* OpcUa_Thread;
typedef OpcUa_Void(OpcUa_PfnThreadMain)(OpcUa_Void* argument);
/* Creates a thread that runs main(argument) once started. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Thread_Create(OpcUa_Thread* thread, OpcUa_PfnThreadMain* main,
                                                  OpcUa_Void* argument);
/* BadInvalidState when it was started before. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Thread_Start(OpcUa_Thread thread);
OPCUA_EXPORT OpcUa_Boolean OpcUa_Thread_IsRunning(OpcUa_Thread thread);
/* Waits until main has returned: Good, or BadTimeout when it still runs after timeout
   milliseconds (OpcUa_Infinite waits without limit). A thread never started counts as ended. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Thread_WaitForShutdown(OpcUa_Thread thread, OpcUa_UInt32 timeout);
/* Waits for a started thread to end, frees it and sets *thread to null. Accepts null. */
OPCUA_EXPORT OpcUa_Void OpcUa_Thread_Delete(OpcUa_Thread* thread);
OPCUA_EXPORT OpcUa_Void OpcUa_Thread_Sleep(OpcUa_UInt32 milliseconds);
OPCUA_EXPORT OpcUa_UInt32 OpcUa_Thread_GetCurrentThreadId(void);

/* ---- recursive mutexes ---- */
typedef OpcUa_Void* OpcUa_Mutex;
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Mutex_Create(OpcUa_Mutex* mutex);
/* Frees it and sets *mutex to null. Accepts null. */
OPCUA_EXPORT OpcUa_Void OpcUa_Mutex_Delete(OpcUa_Mutex* mutex);
OPCUA_EXPORT OpcUa_Void OpcUa_Mutex_Lock(OpcUa_Mutex mutex);
OPCUA_EXPORT OpcUa_Void OpcUa_Mutex_Unlock(OpcUa_Mutex mutex);

/* ---- counting semaphores ---- */
typedef OpcUa_Void* OpcUa_Semaphore;
/* BadInvalidArgument when maximum is 0 or initial exceeds it. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Semaphore_Create(OpcUa_Semaphore* semaphore, OpcUa_UInt32 initial,
                                                     OpcUa_UInt32 maximum);
OPCUA_EXPORT OpcUa_Void OpcUa_Semaphore_Delete(OpcUa_Semaphore* semaphore);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Semaphore_Wait(OpcUa_Semaphore semaphore);
/* Good once a count was taken, GoodNonCriticalTimeout when none came within the time. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Semaphore_TimedWait(OpcUa_Semaphore semaphore, OpcUa_UInt32 milliseconds);
/* Adds count; BadTooManyPosts (count unchanged) when that would pass the maximum. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_Semaphore_Post(OpcUa_Semaphore semaphore, OpcUa_UInt32 count);

/* ---- lists of plain pointers (the list does not own the data) ---- */
typedef struct _OpcUa_ListElement
{
    struct _OpcUa_ListElement* nextElement;
    struct _OpcUa_ListElement* prevElement;
    OpcUa_Void* data;
} OpcUa_ListElement;

typedef struct _OpcUa_List
{
    OpcUa_ListElement* firstElement;
    OpcUa_ListElement* lastElement;
    OpcUa_ListElement* currentElement;
    OpcUa_UInt32 uintNbElements;
    OpcUa_Mutex pMutex;
} OpcUa_List;

OPCUA_EXPORT OpcUa_StatusCode OpcUa_List_Create(OpcUa_List** list);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_List_Initialize(OpcUa_List* list);
/* Removes every element (not the data) and frees the list's lock; Initialize makes it usable again. */
OPCUA_EXPORT OpcUa_Void OpcUa_List_Clear(OpcUa_List* list);
OPCUA_EXPORT OpcUa_Void OpcUa_List_Delete(OpcUa_List** list);
/* The list's own lock, for callers that walk it from several threads. */
OPCUA_EXPORT OpcUa_Void OpcUa_List_Enter(OpcUa_List* list);
OPCUA_EXPORT OpcUa_Void OpcUa_List_Leave(OpcUa_List* list);
/* Adds at the front. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_List_AddElement(OpcUa_List* list, OpcUa_Void* data);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_List_AddElementToEnd(OpcUa_List* list, OpcUa_Void* data);
/* The first element holding data, null when none. */
OPCUA_EXPORT OpcUa_Void* OpcUa_List_GetElement(OpcUa_List* list, OpcUa_Void* data);
/* Removes the first element holding data; BadNotFound when there is none. */
OPCUA_EXPORT OpcUa_StatusCode OpcUa_List_DeleteElement(OpcUa_List* list, OpcUa_Void* data);
/* Removes and returns the first element's data (null when empty). */
OPCUA_EXPORT OpcUa_Void* OpcUa_List_RemoveFirstElement(OpcUa_List* list);
/* Iteration: ResetCurrent, then GetCurrentElement / GetNextElement (null at the end);
   DeleteCurrentElement removes the current element and returns the next one's data. */
OPCUA_EXPORT OpcUa_Void OpcUa_List_ResetCurrent(OpcUa_List* list);
OPCUA_EXPORT OpcUa_Void* OpcUa_List_GetCurrentElement(OpcUa_List* list);
OPCUA_EXPORT OpcUa_Void* OpcUa_List_GetNextElement(OpcUa_List* list);
OPCUA_EXPORT OpcUa_Void* OpcUa_List_DeleteCurrentElement(OpcUa_List* list);
OPCUA_EXPORT OpcUa_StatusCode OpcUa_List_GetNumberOfElements(OpcUa_List* list, OpcUa_UInt32* count);

/* ---- trace ---- */
#define OPCUA_TRACE_LEVEL_CONTENT 0x01u
#define OPCUA_TRACE_LEVEL_DEBUG 0x02u
#define OPCUA_TRACE_LEVEL_INFO 0x04u
#define OPCUA_TRACE_LEVEL_SYSTEM 0x08u
#define OPCUA_TRACE_LEVEL_WARNING 0x10u
#define OPCUA_TRACE_LEVEL_ERROR 0x20u
#define OPCUA_TRACE_LEVEL_ALWAYS 0x40u

typedef OpcUa_Void(OpcUa_PfnTraceSink)(OpcUa_UInt32 level, const OpcUa_CharA* message, OpcUa_Void* context);
/* Writes one formatted message when the configuration record enables the trace and its level mask
   has a bit of level in common (ALWAYS passes whenever the trace is enabled). The text is cut at
   1024 bytes. Returns whether it was written. */
OPCUA_EXPORT OpcUa_Boolean OpcUa_Trace_Imp(OpcUa_UInt32 level, const OpcUa_CharA* format, ...);
/* Routes messages to sink (null: back to standard error). */
OPCUA_EXPORT OpcUa_Void OpcUa_Trace_SetSink(OpcUa_PfnTraceSink* sink, OpcUa_Void* context);

OPCUA_END_EXTERN_C

#endif
