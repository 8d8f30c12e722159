// The kernel lists avx2, avx512f and avx512vl among a processor's flags only
// when it also saves their state; sha_ni where the SHA extensions are.
#include "tests/processor.h"

#include <stdio.h>
#include <string.h>

#include <string>

// The kernel's flags of the first processor, each behind a blank.
static std::string KernelFlags() {
    FILE *cpuinfo = fopen("/proc/cpuinfo", "r");
    if (!cpuinfo)
        return "";
    char line[8192];
    std::string flags;
    while (flags.empty() && fgets(line, sizeof line, cpuinfo))
        if (strncmp(line, "flags", 5) == 0)
            flags = std::string(line) + " ";
    fclose(cpuinfo);
    for (char &c : flags)
        if (c == '\t' || c == '\n' || c == ':')
            c = ' ';
    return flags;
}

bool ProcessorReportsAvx512Vl() {
    std::string flags = KernelFlags();
    return flags.find(" avx512f ") != std::string::npos &&
           flags.find(" avx512vl ") != std::string::npos;
}

bool ProcessorReportsAvx2() {
    return KernelFlags().find(" avx2 ") != std::string::npos;
}

bool ProcessorReportsShaNi() {
    return KernelFlags().find(" sha_ni ") != std::string::npos;
}

bool ProcessorReportsBmi2() {
    std::string flags = KernelFlags();
    return flags.find(" bmi1 ") != std::string::npos && flags.find(" bmi2 ") != std::string::npos;
}

bool ProcessorReportsSsse3() {
    return KernelFlags().find(" ssse3 ") != std::string::npos;
}

bool ProcessorReportsAvx512Bw() {
    return ProcessorReportsAvx512Vl() && KernelFlags().find(" avx512bw ") != std::string::npos;
}
