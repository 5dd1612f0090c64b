// plugwatch's start-up import: any bytes as the black and white list files, imported into a
// framework that accepts everything.
#include <cstdlib>

#include "fuzz_input.h"
#include "mdm/usb_id.h"
#include "plugwatch_fakes.h"
#include "policy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::ScratchFile scratch;
    const mdm::tarvex::Functions& framework = fuzz::accepting_framework();
    fuzz::Fields fields(data, size);
    std::string black = fields.next();
    plugwatch::PolicyFiles files{scratch.dir() + "/black-list", scratch.dir() + "/white-list"};
    scratch.write_at(files.black_list, black);
    scratch.write_at(files.white_list, fields.rest());
    fuzz::NullLog log;
    plugwatch::init_policy(log, framework, files);
    mdm::parse_leading_hex(black.c_str());
    return 0;
}
