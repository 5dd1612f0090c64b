// Introspection data of NetworkManager's two members the system uses; the outside peers' own
// are in mdm/peer_interfaces.h.
#pragma once

namespace peers {

inline constexpr char kNmXml[] = R"(<node>
  <interface name="org.freedesktop.NetworkManager">
    <method name="GetDeviceByIpIface">
      <arg type="s" name="iface" direction="in"/>
      <arg type="o" name="device" direction="out"/>
    </method>
  </interface>
</node>)";

inline constexpr char kNmDeviceXml[] = R"(<node>
  <interface name="org.freedesktop.NetworkManager.Device">
    <property type="u" name="DeviceType" access="read"/>
  </interface>
</node>)";

}  // namespace peers
