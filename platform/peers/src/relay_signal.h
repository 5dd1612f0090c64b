// What the notification agent broadcasts to the session relays. Only root may send it (bus
// policy), and a relay takes it only from the owner of the agent's name.
#pragma once

namespace stockpeers {

inline constexpr char kAgentName[] = "com.quorl.brannoc.ostrelagent";
inline constexpr char kAgentPath[] = "/brannoc/Responser";
inline constexpr char kRelayInterface[] = "com.quorl.brannoc.ostrelagent.Desktop";
inline constexpr char kRelaySignal[] = "Show";
inline constexpr char kRelaySignalType[] = "(ssyi)";  // summary, body, urgency, expire timeout
// The relay's name on the session bus: one relay per session.
inline constexpr char kRelayName[] = "com.quorl.brannoc.ostrelagent.Relay";

}  // namespace stockpeers
