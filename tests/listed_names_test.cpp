// Which names a list or a typed target may make the module open, on both
// builds alike: the same list means the same on either.
#include <gtest/gtest.h>

#include "jobs/listed_names.h"

TEST(ListedNames, VolumesDevicesAndServersAreNeverOpened) {
    enum Reach { Local, Server, Device };
    const struct {
        const char *name;
        Reach reach;
    } cases[] = {
        {"a.txt", Local},
        {"sub/a.txt", Local},
        {"C:\\dir\\a.txt", Local},
        {"C:a.txt", Local},
        {"\\\\?\\C:\\dir\\a.txt", Local},
        {"//?/c:/a.txt", Local},
        {"\\\\?\\C:\\", Local},
        // The volume itself, read raw, in every spelling.
        {"\\\\?\\C:", Device},
        {"//?/c:", Device},
        {"\\\\?\\C:.", Device},
        {"\\\\?\\C: ", Device},
        {"\\\\.\\C:", Device},
        {"\\\\.\\C:\\a.txt", Device},
        {"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\", Device},
        {"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1", Device},
        {"\\\\.\\PhysicalDrive0", Device},
        {"\\\\.\\pipe\\x", Device},
        {"\\??\\C:\\a.txt", Device},
        {"\\\\?", Device},
        {"\\\\.", Device},
        {"\\\\?\\", Device},
        {"\\\\server\\share\\a.txt", Server},
        {"//127.0.0.1/share/a.txt", Server},
        {"\\\\?\\UNC\\server\\share\\a.txt", Server},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(LeadsIntoDevices(c.name), c.reach == Device) << c.name;
        // The test's folder is on no server, so a server's name is not read.
        EXPECT_EQ(ListedNameMayBeRead(c.name), c.reach == Local) << c.name;
    }
}
