// Introspection data of the three outside peers, as the system calls them. Whatever owns
// their names (the stock peers, or the stand-ins of the tests) publishes exactly these.
#pragma once

namespace mdm::bus {

inline constexpr char kLogServiceXml[] = R"(<node>
  <interface name="org.log.transmit">
    <method name="log_transmit">
      <arg type="s" name="log" direction="in"/>
    </method>
  </interface>
</node>)";

inline constexpr char kManagementClientXml[] = R"(<node>
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

inline constexpr char kNotificationAgentXml[] = R"(<node>
  <interface name="com.quorl.brannoc.ostrelagent">
    <method name="show_system_notification">
      <arg type="s" name="text" direction="in"/>
    </method>
  </interface>
</node>)";

}  // namespace mdm::bus
