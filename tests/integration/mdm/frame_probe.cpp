// A service built on the frame with methods that reach the parts the real services do not
// exercise: the audit call, the core library lookup and a reply of any size. It borrows the storage
// service's bus name, which the policy already lets root own.
#include <stdexcept>
#include <string>

#include "frame_probe_introspection.h"
#include "mdm/frame/service.h"

using mdm::frame::Service;

int main() {
    return mdm::frame::run_service(
        {.bus_name = "com.quorl.StorageControl",
         .introspection_xml = kIntrospectionXml,
         .record_name = "probe-record",
         .handlers = {
             {"Audit",
              [](Service& service, GVariant* args) {
                  const gchar* message = nullptr;
                  g_variant_get(args, "(&s)", &message);
                  service.log_transmit(message);
                  return mdm::frame::int_reply(0);
              }},
             {"Symbol",
              [](Service& service, GVariant* args) {
                  const gchar* name = nullptr;
                  g_variant_get(args, "(&s)", &name);
                  // Throws for an unknown name: the caller gets a bus
                  // error reply.
                  service.core_symbol<void()>(name);
                  return mdm::frame::int_reply(0);
              }},
             {"Large",
              [](Service&, GVariant* args) {
                  gint32 bytes = 0;
                  g_variant_get(args, "(i)", &bytes);
                  std::string text(bytes > 0 ? bytes : 0, 'x');
                  return mdm::VariantPtr(g_variant_ref_sink(g_variant_new("(s)", text.c_str())));
              }},
         }});
}
