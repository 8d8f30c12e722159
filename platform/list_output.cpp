// Creation's output kept or dropped, the same on every platform; see
// FinishSignatureOutput in platform.h.
#include "platform/platform.h"

bool FinishSignatureOutput(SignatureOutput *output, bool keep) {
    FILE *stream = output->stream;
    output->stream = nullptr;
    // On the disk before it takes the name: a crash then leaves the old list
    // or the new one, never a part.
    bool written = fflush(stream) == 0 && ferror(stream) == 0;
    if (written && keep)
        written = NewFileOnDisk(output, stream);
    if (fclose(stream) != 0)
        written = false;
    if (written && keep && NewFileReplacesList(output))
        return true;
    RemoveNewFile(output);
    return false;
}
