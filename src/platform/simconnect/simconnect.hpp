#pragma once
// Stand-in for the simulator's client library: the SimConnect_* calls the program makes, backed
// by the in-process simulator of sim_world.hpp. Numbers (message ids, exception numbers, datum
// types, periods, object types) and record layouts are the ones the program relies on; records
// are wire formats with fixed byte offsets, checked below.
//
// Every call returns a negative result on failure, among them every call on a null or closed
// handle. Calls may come from any thread. SimConnect_CallDispatch runs the callback on the
// calling thread, once per message that was pending when it was called, without holding any
// lock of the simulator, and lets an exception thrown by the callback pass (the message that
// was being handled is consumed, the later ones stay queued).

#include <cstddef>
#include <cstdint>

#include "platform/win32/known_folders.hpp" // HRESULT, DWORD, HANDLE
#include "platform/win32/window.hpp"        // HWND, BOOL

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(static_cast<std::int32_t>(0x80004005u));

inline constexpr DWORD SIMCONNECT_UNUSED = 0xFFFFFFFFu;
inline constexpr DWORD SIMCONNECT_OBJECT_ID_USER = 0;
inline constexpr DWORD SIMCONNECT_GROUP_PRIORITY_HIGHEST = 1;
inline constexpr DWORD SIMCONNECT_EVENT_FLAG_DEFAULT = 0;
inline constexpr DWORD SIMCONNECT_DATA_REQUEST_FLAG_DEFAULT = 0;
inline constexpr DWORD SIMCONNECT_DATA_SET_FLAG_DEFAULT = 0;

enum SIMCONNECT_DATATYPE : DWORD {
    SIMCONNECT_DATATYPE_INT64 = 2,
    SIMCONNECT_DATATYPE_FLOAT64 = 4,
    SIMCONNECT_DATATYPE_STRING32 = 6,
    SIMCONNECT_DATATYPE_STRINGV = 11,
};

enum SIMCONNECT_PERIOD : DWORD {
    SIMCONNECT_PERIOD_NEVER = 0,
    SIMCONNECT_PERIOD_ONCE = 1,
    SIMCONNECT_PERIOD_SECOND = 4,
};

enum SIMCONNECT_SIMOBJECT_TYPE : DWORD {
    SIMCONNECT_SIMOBJECT_TYPE_USER = 0,
    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT = 2,
};

enum SIMCONNECT_RECV_ID : DWORD {
    SIMCONNECT_RECV_ID_EXCEPTION = 1,
    SIMCONNECT_RECV_ID_OPEN = 2,
    SIMCONNECT_RECV_ID_QUIT = 3,
    SIMCONNECT_RECV_ID_EVENT = 4,
    SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE = 5,
    SIMCONNECT_RECV_ID_EVENT_FILENAME = 6,
    SIMCONNECT_RECV_ID_EVENT_FRAME = 7,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA = 8,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9,
    SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID = 12,
    SIMCONNECT_RECV_ID_CLIENT_DATA = 16,
    SIMCONNECT_RECV_ID_EVENT_EX1 = 27,
    SIMCONNECT_RECV_ID_FACILITY_DATA = 28,
    SIMCONNECT_RECV_ID_FACILITY_DATA_END = 29,
};

enum SIMCONNECT_EXCEPTION : DWORD {
    SIMCONNECT_EXCEPTION_ERROR = 1,
    SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID = 3,
    SIMCONNECT_EXCEPTION_VERSION_MISMATCH = 5,
    SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED = 7,
    SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS = 11,
    SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE = 19,
    SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED = 22,
    SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED = 23,
    SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE = 24,
};

enum SIMCONNECT_FACILITY_DATA_TYPE : DWORD {
    SIMCONNECT_FACILITY_DATA_AIRPORT = 0,
    SIMCONNECT_FACILITY_DATA_HELIPAD = 4,
    SIMCONNECT_FACILITY_DATA_TAXI_PARKING = 15,
};

// ---- Receive records (byte offsets are a wire format) ----

struct SIMCONNECT_RECV {
    DWORD dwSize;    // 0: bytes of the whole message
    DWORD dwVersion; // 4
    DWORD dwID;      // 8: SIMCONNECT_RECV_ID
};

struct SIMCONNECT_RECV_EXCEPTION {
    SIMCONNECT_RECV header;
    DWORD dwException; // 12
    DWORD dwSendID;    // 16: the packet id of the call that failed
    DWORD dwIndex;     // 20: the parameter that was wrong, or 0
};

struct SIMCONNECT_RECV_OPEN {
    SIMCONNECT_RECV header;
    char szApplicationName[256];     // 12, zero-terminated
    DWORD dwApplicationVersionMajor; // 268
    DWORD dwApplicationVersionMinor; // 272
    DWORD dwApplicationBuildMajor;   // 276
    DWORD dwApplicationBuildMinor;   // 280
};

struct SIMCONNECT_RECV_EVENT {
    SIMCONNECT_RECV header;
    DWORD uGroupID; // 12
    DWORD uEventID; // 16
    DWORD dwData;   // 20
};

struct SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE {
    SIMCONNECT_RECV header;
    DWORD uGroupID; // 12
    DWORD uEventID; // 16
    DWORD dwData;   // 20: the object id
    DWORD eObjType; // 24: SIMCONNECT_SIMOBJECT_TYPE
};

struct SIMCONNECT_RECV_EVENT_FILENAME {
    SIMCONNECT_RECV header;
    DWORD uGroupID;        // 12
    DWORD uEventID;        // 16
    DWORD dwData;          // 20
    char szFileName[260];  // 24, zero-terminated
    DWORD dwFlags;         // 284
};

struct SIMCONNECT_RECV_EVENT_FRAME {
    SIMCONNECT_RECV header;
    DWORD uGroupID;   // 12
    DWORD uEventID;   // 16
    DWORD dwData;     // 20
    float fFrameRate; // 24
    float fSimSpeed;  // 28
};

struct SIMCONNECT_RECV_ASSIGNED_OBJECT_ID {
    SIMCONNECT_RECV header;
    DWORD dwRequestID; // 12
    DWORD dwObjectID;  // 16
};

// SIMOBJECT_DATA (8) and SIMOBJECT_DATA_BYTYPE (9): the data block of the definition follows at
// offset 40 (SIMCONNECT_RECV_SIMOBJECT_DATA_BLOCK_OFFSET).
struct SIMCONNECT_RECV_SIMOBJECT_DATA {
    SIMCONNECT_RECV header;
    DWORD dwRequestID;   // 12
    DWORD dwObjectID;    // 16
    DWORD dwDefineID;    // 20
    DWORD dwFlags;       // 24
    DWORD dwentrynumber; // 28: 1-based within one by-type answer
    DWORD dwoutof;       // 32: messages of one by-type answer
    DWORD dwDefineCount; // 36: datums in the block
};
using SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE = SIMCONNECT_RECV_SIMOBJECT_DATA;
inline constexpr std::size_t SIMCONNECT_RECV_SIMOBJECT_DATA_BLOCK_OFFSET = 40;

// FACILITY_DATA (28): one item of a facility answer; its data follows at offset 40.
struct SIMCONNECT_RECV_FACILITY_DATA {
    SIMCONNECT_RECV header;
    DWORD UserRequestId;         // 12
    DWORD UniqueRequestId;       // 16
    DWORD ParentUniqueRequestId; // 20
    DWORD Type;                  // 24: SIMCONNECT_FACILITY_DATA_TYPE
    DWORD IsListItem;            // 28
    DWORD ItemIndex;             // 32
    DWORD ListSize;              // 36
};
inline constexpr std::size_t SIMCONNECT_RECV_FACILITY_DATA_BLOCK_OFFSET = 40;

struct SIMCONNECT_RECV_FACILITY_DATA_END {
    SIMCONNECT_RECV header;
    DWORD RequestId; // 12
};

// The initial position of a new AI object: angles in degrees, altitude in feet.
struct SIMCONNECT_DATA_INITPOSITION {
    double Latitude;
    double Longitude;
    double Altitude;
    double Pitch;
    double Bank;
    double Heading;
    DWORD OnGround;
    DWORD Airspeed; // knots
};

static_assert(sizeof(SIMCONNECT_RECV) == 12);
static_assert(offsetof(SIMCONNECT_RECV_EXCEPTION, dwSendID) == 16 && sizeof(SIMCONNECT_RECV_EXCEPTION) == 24);
static_assert(offsetof(SIMCONNECT_RECV_OPEN, szApplicationName) == 12);
static_assert(offsetof(SIMCONNECT_RECV_OPEN, dwApplicationVersionMajor) == 268);
static_assert(offsetof(SIMCONNECT_RECV_OPEN, dwApplicationBuildMinor) == 280);
static_assert(offsetof(SIMCONNECT_RECV_EVENT, dwData) == 20);
static_assert(offsetof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE, eObjType) == 24);
static_assert(offsetof(SIMCONNECT_RECV_EVENT_FILENAME, szFileName) == 24);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwDefineID) == 20);
static_assert(sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) == SIMCONNECT_RECV_SIMOBJECT_DATA_BLOCK_OFFSET);
static_assert(offsetof(SIMCONNECT_RECV_FACILITY_DATA, Type) == 24);
static_assert(sizeof(SIMCONNECT_RECV_FACILITY_DATA) == SIMCONNECT_RECV_FACILITY_DATA_BLOCK_OFFSET);
static_assert(offsetof(SIMCONNECT_RECV_FACILITY_DATA_END, RequestId) == 12);
static_assert(offsetof(SIMCONNECT_DATA_INITPOSITION, OnGround) == 48 && sizeof(SIMCONNECT_DATA_INITPOSITION) == 56);

using DispatchProc = void (*)(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);

// ---- Calls ----

// Fails while the simulator is not available. On success *phSimConnect is a fresh handle and an
// OPEN message with the simulator's application name and version waits on the new connection.
HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32,
                        HANDLE hEventHandle, DWORD ConfigIndex);
// Ends the connection; the AI objects it created leave the simulator with it (the other
// connections see them removed), as its creations still under way do.
HRESULT SimConnect_Close(HANDLE hSimConnect);
// Fails on a connection the simulator has quit, once its QUIT message has been delivered.
HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext);

// An unknown datum name gives EXCEPTION NAME_UNRECOGNIZED; units: angles in "degree(s)" or
// "radian(s)", lengths in "feet" or "meter(s)", everything else as the simulator keeps it.
HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, DWORD DefineID, const char* DatumName,
                                       const char* UnitsName, SIMCONNECT_DATATYPE DatumType, float fEpsilon,
                                       DWORD DatumID);
// "Sim" answers at once with the current running state (1 or 0), then on every change.
HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, DWORD EventID, const char* SystemEventName);
HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, DWORD EventID, const char* EventName);
HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect, DWORD GroupID, DWORD EventID,
                                                     BOOL bMaskable);
HRESULT SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect, DWORD GroupID, DWORD uPriority);

// Object 0 is the user aircraft. ONCE is answered on the next frame while a flight runs, SECOND
// on every simulator second while a flight runs, NEVER cancels the request id. An unknown
// object or definition gives EXCEPTION UNRECOGNIZED_ID.
HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, DWORD RequestID, DWORD DefineID, DWORD ObjectID,
                                          SIMCONNECT_PERIOD Period, DWORD Flags, DWORD origin, DWORD interval,
                                          DWORD limit);
// One SIMOBJECT_DATA_BYTYPE per aircraft within the radius of the user aircraft (the user
// aircraft included), on the next frame while a flight runs.
HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect, DWORD RequestID, DWORD DefineID,
                                              DWORD dwRadiusMeters, SIMCONNECT_SIMOBJECT_TYPE type);
// The block must have the definition's size (else EXCEPTION INVALID_DATA_SIZE); its values take
// effect at once: a position block moves the object.
HRESULT SimConnect_SetDataOnSimObject(HANDLE hSimConnect, DWORD DefineID, DWORD ObjectID, DWORD Flags,
                                      DWORD ArrayCount, DWORD cbUnitSize, void* pDataSet);
HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, DWORD ObjectID, DWORD EventID, DWORD dwData,
                                       DWORD GroupID, DWORD Flags);

// A title the simulator knows: on the next frame the object appears (ObjectAdded, then
// ASSIGNED_OBJECT_ID to this connection) with the tail number as its ATC id. Any other title:
// EXCEPTION CREATE_OBJECT_FAILED carrying this call's packet id.
HRESULT SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                          const char* szTailNumber, SIMCONNECT_DATA_INITPOSITION InitPos,
                                          DWORD RequestID);
// The packet id of this connection's last call.
HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwError);
HRESULT SimConnect_AIReleaseControl(HANDLE hSimConnect, DWORD ObjectID, DWORD RequestID);
// The object leaves on the next frame (ObjectRemoved).
HRESULT SimConnect_AIRemoveObject(HANDLE hSimConnect, DWORD ObjectID, DWORD RequestID);
// A file that does not exist gives EXCEPTION LOAD_FLIGHTPLAN_FAILED.
HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, DWORD ObjectID, const char* szFlightPlanPath,
                                           DWORD RequestID);

// Fields between "OPEN AIRPORT" and "CLOSE AIRPORT", with child blocks "OPEN TAXI_PARKING" and
// "OPEN HELIPAD"; an unknown field gives EXCEPTION NAME_UNRECOGNIZED.
HRESULT SimConnect_AddToFacilityDefinition(HANDLE hSimConnect, DWORD DefineID, const char* FieldName);
// The airport's item, then its children in the order of the definition, then FACILITY_DATA_END.
HRESULT SimConnect_RequestFacilityData(HANDLE hSimConnect, DWORD DefineID, DWORD RequestID, const char* ICAO,
                                       const char* Region);
