// The two operations that act on a path rather than on USB devices: the read-only remount and
// the mode change of a mount point.
#include <sys/stat.h>
#include <syslog.h>

#include <string>

#include "mdm/raii_mount.h"
#include "periphcore/switching.h"

extern "C" {

int ReadOnly(const char* target) {
    try {
        if (!target)
            return -1;
        mdm::MntContextPtr cxt(mnt_new_context());
        if (!cxt)
            return -1;
        int rc = mnt_context_set_options(cxt.get(), "remount,ro");
        if (rc == 0)
            rc = mnt_context_set_target(cxt.get(), target);
        if (rc == 0)
            rc = mnt_context_mount(cxt.get());
        return rc;
    } catch (...) {
        return -1;
    }
}

int change_permission(const char* path) {
    try {
        if (!path)
            return -1;
        // The line keeps the form of the command it once was, for whoever reads the log; the
        // mode is changed by the system call on the whole path, so no text of the path is
        // ever interpreted and no long path is cut.
        const std::string line = std::string("chmod 777 ") + path;
        syslog(LOG_INFO, "%s\n", line.c_str());
        return ::chmod(path, 0777) == 0 ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
