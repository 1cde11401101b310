#pragma once

// The server's registration: its application id, its class with the program ids, its type library
// and the values that make activation start it as the session's user.

// The AppID, then the class and type library, then the DCOM values; false when the class could
// not be registered (errors of the DCOM values are only logged).
bool RegisterServer();
// The class and type library, then the AppID; the AppID key's parent stays.
void UnregisterServer();
