// The installation packet that an installer forwards to the running
// assistant ("DeviceRegNotify" over the local channel, when an assistant
// runs): applied here as the installation would apply it.
#pragma once

struct XmlNode;

namespace install {

// Stores the packet's settings (configuration store and settings files)
// and, for an installing packet (IsInstall 1), makes the desktop link as the
// assistant's "-cl:<name>" start does, all under the fault guard. 1 when
// applied; 0 for a packet without CheckUrl, an uninstalling one, a link
// that could not be made or a fault, so that the installer goes on itself.
int apply_forwarded_packet(const XmlNode* packet);

}  // namespace install
