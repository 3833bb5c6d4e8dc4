// The installation packet that an installer forwards to the running
// assistant ("DeviceRegNotify" over the local channel, when an assistant
// runs): applied here as the installation would apply it.
#pragma once

struct XmlNode;

namespace install {

// Stores the packet's settings (configuration store and settings files)
// under the fault guard. 1 when stored; 0 for a packet without CheckUrl or
// a fault, so that the installer stores it itself.
int apply_forwarded_packet(const XmlNode* packet);

}  // namespace install
