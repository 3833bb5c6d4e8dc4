// Whether this device is registered with the access server and whether it is
// isolated (DeviceId, IsForbid).
#pragma once

// Asks the server with the device's description; stores DeviceId and
// IsForbid from a complete answer only.
void UpdateDeviceRegisterInfo();
