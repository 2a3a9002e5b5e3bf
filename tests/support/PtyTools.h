// Pseudo-terminals, virtual ports and fake device trees for tests, without Qt:
// the plain tests of the link and the probe use these directly, the Qt tests
// through Pty.h.
//
// The master side of a pair stays with the test (it plays the other end of the
// line); the slave's path is what the code under test opens. Every descriptor
// is close-on-exec: a forked child that inherited the master would keep the
// line up after the test closes it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace PtyTools {

class TPtyPair
{
public:
    TPtyPair();
    TPtyPair(const TPtyPair &) = delete;
    TPtyPair &operator=(const TPtyPair &) = delete;
    ~TPtyPair();

    bool Valid() const { return m_master >= 0; }
    int Master() const { return m_master; }
    const std::string &SlavePath() const { return m_slavePath; }

    // Writes all of bytes to the master side (the line), waiting for room as needed.
    bool Write(std::string_view bytes);
    // Whatever is waiting now, without waiting.
    std::string ReadAvailable();
    // Closes the master: the slave side sees a hang-up.
    void Hangup();
    // Gives the master away (for a link that adopts it); the pair forgets it.
    int TakeMaster();

private:
    int m_master = -1;
    std::string m_slavePath;
};

// A fresh directory under $TMPDIR (or /tmp), removed with all it holds.
class TScratchDir
{
public:
    TScratchDir();
    TScratchDir(const TScratchDir &) = delete;
    TScratchDir &operator=(const TScratchDir &) = delete;
    ~TScratchDir();
    bool Valid() const { return !m_path.empty(); }
    const std::string &Path() const { return m_path; }

private:
    std::string m_path;
};

// mkdir -p; true when the directory is there afterwards.
bool MakePath(const std::string &path);
// rm -r; symbolic links are removed, never followed.
void RemoveTree(const std::string &path);
bool WriteFile(const std::string &path, std::string_view content);

// Points name in the virtual-port directory at target (replacing an old link).
// A simulator's name (kv508sim...) is published as the simulator does: with
// its lock file, held by this process until ReleaseVirtualPortLock.
// Given a serial, the lock file says who the port is, as the simulator's does.
bool PublishVirtualPort(const std::string &name, const std::string &target, const std::string &serial = {});
// Lets go of the lock as a killed simulator would; the files stay behind.
void ReleaseVirtualPortLock(const std::string &name);

// Another program ("sleep") that has paths open, and fd as its descriptor 9
// when given; it runs until EndHolder. Returns its pid, or -1.
pid_t SpawnHolder(const std::vector<std::string> &paths, int fd = -1);
void EndHolder(pid_t pid);

// Tells whether anyone opened a file since the watch began.
class TOpenWatch
{
public:
    explicit TOpenWatch(const std::string &path);
    TOpenWatch(const TOpenWatch &) = delete;
    TOpenWatch &operator=(const TOpenWatch &) = delete;
    ~TOpenWatch();
    bool Valid() const { return m_watch >= 0; }
    bool Opened() const;

private:
    int m_fd = -1;
    int m_watch = -1;
};

// A serial port in a fake /sys and /dev under root (the KV508_PROBE_ROOT
// layout): /dev/NAME links to target, /sys/class/tty/NAME has a device with
// driver behind it (none when driver is empty) and, given usb, a USB device
// above it with descriptors.
struct TFakeUsb {
    std::string vid, pid, manufacturer, product, serial;
};
bool AddFakeSerialPort(const std::string &root, const std::string &name, const std::string &target,
                       const std::string &driver, const TFakeUsb *usb = nullptr);

// Makes the virtual-port directory a fresh private directory for this test
// program ($XDG_RUNTIME_DIR points into a temporary directory) and returns it.
std::string UseScratchVirtualPortDir();

} // namespace PtyTools
