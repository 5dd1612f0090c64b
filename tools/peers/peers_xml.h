// Introspection data of the stand-in peers: what each one publishes on the bus.
#pragma once

namespace peers {

inline constexpr char kLogXml[] = R"(<node>
  <interface name="org.log.transmit">
    <method name="log_transmit">
      <arg type="s" name="log" direction="in"/>
    </method>
  </interface>
</node>)";

inline constexpr char kClientXml[] = R"(<node>
  <interface name="com.quorl.brannoc.ostrelclient">
    <method name="get_current_user">
      <arg type="s" name="user" direction="out"/>
    </method>
    <method name="usb_storage_plug_in">
      <arg type="s" name="log" direction="in"/>
      <arg type="s" name="reply" direction="out"/>
    </method>
    <method name="usb_storage_pull_out">
      <arg type="s" name="log" direction="in"/>
      <arg type="s" name="reply" direction="out"/>
    </method>
  </interface>
</node>)";

inline constexpr char kAgentXml[] = R"(<node>
  <interface name="com.quorl.brannoc.ostrelagent">
    <method name="show_system_notification">
      <arg type="s" name="text" direction="in"/>
    </method>
  </interface>
</node>)";

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
