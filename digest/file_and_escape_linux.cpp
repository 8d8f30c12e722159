// Linux side of the file digest: opening a file to digest without blocking,
// and the Escape poll over the terminal on standard input.
//
// A terminal has no event queue to peek at, so the bytes read from it become
// key events in the module's own queue; looking at that queue consumes
// nothing, and only the events ahead of a found key are removed.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "digest/file_digest.h"

// Key-downs taken from the terminal and not removed yet, oldest first; every
// terminal key is a key-down, so its virtual-key code is all there is.
static const uint32_t KeyQueueCapacity = 64;
static uint16_t KeyQueue[KeyQueueCapacity];
static uint32_t KeyQueueLength;

// Where the decoder stands between reads of the terminal.
enum TerminalState { Ground, AfterEscape, InControlSequence, InShiftSequence };
static TerminalState Decoder = Ground;

// -1 until the first poll after ForgetConsoleInput asks.
static int InputIsTerminal = -1;

// Code of a key that has no virtual-key code here; no real key has 0.
static const uint16_t UnknownVirtualKey = 0;

// Linux names are bytes: however a list encodes them, they open as they are.
FILE *OpenFileToDigest(const char *name, NameEncoding) {
    // Without O_NONBLOCK a FIFO that has no writer would hang the open.
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    // Devices, pipes and directories either block the read or never end.
    // O_NONBLOCK may stay: it changes nothing for a regular file, whose reads
    // wait for the disk whatever the flag says, and clearing it would cost a
    // system call per file.
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return nullptr;
    }
    FILE *stream = fdopen(fd, "rb");
    if (!stream)
        close(fd);
    return stream;
}

FileProblem WhyNotOpened(const char *name, NameEncoding) {
    struct stat status;
    if (stat(name, &status) != 0)
        return errno == EACCES ? ProblemCannotRead : ProblemNotFound;
    return S_ISREG(status.st_mode) ? ProblemCannotRead : ProblemNotAFile;
}

bool NameHasFile(const char *name, NameEncoding) {
    struct stat status;
    return lstat(name, &status) == 0;
}

const char *NameForHost(const char *name, NameEncoding, char *, size_t) {
    return name;
}

// Names are bytes, most often UTF-8: a cut never starts on a continuation byte.
size_t CharacterStart(const char *text, size_t at) {
    for (int i = 0; i < 3 && ((uint8_t)text[at] & 0xC0) == 0x80; i++)
        at++;
    return at;
}

bool NameInUtf8Form(const char *name, NameEncoding, char *buffer, size_t size) {
    size_t length = strlen(name);
    if (length >= size)
        return false;
    memcpy(buffer, name, length + 1);
    return true;
}

int64_t FileSizeToDigest(FILE *stream) {
    struct stat status;
    if (fstat(fileno(stream), &status) != 0)
        return -1;
    return (int64_t)status.st_size;
}

int ConsoleColumns() {
    // The host draws on its terminal, which may be any of the three.
    const int streams[] = {STDOUT_FILENO, STDERR_FILENO, STDIN_FILENO};
    for (int fd : streams) {
        winsize size;
        if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
            return size.ws_col;
    }
    return 0;
}

uint64_t MonotonicMicroseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint64_t)now.tv_sec * 1000000 + (uint64_t)now.tv_nsec / 1000;
}

static uint16_t VirtualKeyOfByte(uint8_t byte) {
    if (byte >= 'a' && byte <= 'z')
        return (uint16_t)(byte - 'a' + 'A');
    if ((byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') || byte == ' ')
        return byte;
    if (byte == '\r' || byte == '\n')
        return 13; // Enter
    if (byte == '\t')
        return 9; // Tab
    if (byte == 0x7f || byte == 0x08)
        return 8; // Backspace
    return UnknownVirtualKey;
}

static void QueueKey(uint16_t virtualKey) {
    if (KeyQueueLength < KeyQueueCapacity)
        KeyQueue[KeyQueueLength++] = virtualKey;
}

// ESC alone or ESC ESC is the Escape key; ESC '[' and ESC 'O' open another
// key's control sequence, which runs to its final byte; ESC and any other
// byte is that byte's key with Alt.
static void DecodeByte(uint8_t byte) {
    switch (Decoder) {
    case Ground:
        if (byte == 0x1b)
            Decoder = AfterEscape;
        else
            QueueKey(VirtualKeyOfByte(byte));
        return;
    case AfterEscape:
        Decoder = byte == '[' ? InControlSequence : byte == 'O' ? InShiftSequence : Ground;
        QueueKey(byte == 0x1b ? EscapeVirtualKey : UnknownVirtualKey);
        return;
    case InControlSequence:
        if (byte >= 0x40 && byte <= 0x7e)
            Decoder = Ground;
        return;
    case InShiftSequence:
        Decoder = Ground;
        return;
    }
}

// Moves what the terminal has ready into the queue, never waiting, and
// returns the number of queued events.
static uint32_t CountKeyEvents() {
    if (InputIsTerminal < 0)
        InputIsTerminal = isatty(STDIN_FILENO) ? 1 : 0;
    if (!InputIsTerminal)
        return 0;
    int available = 0;
    if (ioctl(STDIN_FILENO, FIONREAD, &available) != 0 || available < 0)
        available = 0;
    // Each byte makes at most one event, so what is read always fits; a read
    // of no more than is ready returns at once.
    uint8_t bytes[KeyQueueCapacity];
    size_t wanted = KeyQueueCapacity - KeyQueueLength;
    if (wanted > (size_t)available)
        wanted = (size_t)available;
    ssize_t got = wanted > 0 ? read(STDIN_FILENO, bytes, wanted) : 0;
    for (ssize_t i = 0; i < got; i++)
        DecodeByte(bytes[i]);
    // An ESC with nothing behind it in the terminal is taken as the key.
    if (Decoder == AfterEscape && got == available) {
        Decoder = Ground;
        QueueKey(EscapeVirtualKey);
    }
    return KeyQueueLength;
}

static void RemoveKeyEvents(uint32_t count) {
    for (uint32_t i = count; i < KeyQueueLength; i++)
        KeyQueue[i - count] = KeyQueue[i];
    KeyQueueLength -= count;
}

int EscapePressed(uint16_t virtualKey) {
    uint32_t count = CountKeyEvents();
    for (uint32_t i = 0; i < count; i++) {
        if (KeyQueue[i] == virtualKey) {
            RemoveKeyEvents(i);
            return 1;
        }
    }
    // A full queue without the key holds only keys that would go ahead of
    // it anyway; dropping them lets the next poll read on.
    if (count == KeyQueueCapacity)
        RemoveKeyEvents(count);
    return 0;
}

void ForgetConsoleInput() {
    KeyQueueLength = 0;
    Decoder = Ground;
    InputIsTerminal = -1;
}
