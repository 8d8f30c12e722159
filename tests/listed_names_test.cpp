// Which names a list or a typed target may make the module open, on both
// builds alike: the same list means the same on either.
#include <gtest/gtest.h>

#include <vector>

#include "jobs/listed_names.h"

TEST(ListedNames, VolumesDevicesAndServersAreNeverOpened) {
    enum Reach { Local, Server, Device };
    const struct {
        Reach reach;
        std::vector<const char *> names;
    } cases[] = {
        {Local,
         {"a.txt", "sub/a.txt", "C:\\dir\\a.txt", "C:a.txt", "\\\\?\\C:\\dir\\a.txt",
          "//?/c:/a.txt", "\\\\?\\C:\\"}},
        // The volume itself, read raw, in every spelling, and other devices.
        {Device,
         {"\\\\?\\C:", "//?/c:", "\\\\?\\C:.", "\\\\?\\C: ", "\\\\.\\C:", "\\\\.\\C:\\a.txt",
          "\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\",
          "\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1", "\\\\.\\PhysicalDrive0", "\\\\.\\pipe\\x",
          "\\??\\C:\\a.txt", "\\\\?", "\\\\.", "\\\\?\\"}},
        {Server,
         {"\\\\server\\share\\a.txt", "//127.0.0.1/share/a.txt",
          "\\\\?\\UNC\\server\\share\\a.txt"}},
    };
    for (const auto &c : cases)
        for (const char *name : c.names) {
            EXPECT_EQ(LeadsIntoDevices(name), c.reach == Device) << name;
            // The test's folder is on no server, so a server's name is not read.
            EXPECT_EQ(ListedNameMayBeRead(name), c.reach == Local) << name;
        }
}
