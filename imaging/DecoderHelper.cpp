// vantrel-decoder: decodes still pictures for the program in a confined
// process, so that a damaged file can take down only this helper. It reads
// requests from the socket at descriptor 3, each with the picture's open
// file; it opens nothing itself. Each answer carries the pixels in a sealed
// memory file the program maps.
#include "imaging/DecoderProtocol.h"
#include "imaging/DecoderSandbox.h"
#include "imaging/FdPassing.h"
#include "imaging/FileBytes.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/ModernReaders.h"

#include <QBuffer>
#include <QImageReader>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

int pictureFd = -1; // the memory file of the picture being decoded
// The open-file limit a test asks the helper to force on the program.
constexpr rlim_t kFewFiles = 3;

void Unmap(uint8_t* bits, std::size_t bytes) {
    ::munmap(bits, bytes);
}

// New surfaces of the load surface live in a memory file the answer hands over.
bool MakeShared(cDIB& surface, int32_t width, int32_t height) {
    std::size_t stride = 0, bytes = 0;
    if (!SurfaceSize(width, height, 32, kMaxSurfaceBytes, stride, bytes)) return false;
    const int fd = ::memfd_create("vantrel-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) return false;
    void* map = MAP_FAILED;
    if (::ftruncate(fd, off_t(bytes)) == 0)
        map = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED ||
        !surface.Adopt(static_cast<uint8_t*>(map), bytes, width, height, Unmap)) {
        if (map != MAP_FAILED) ::munmap(map, bytes);
        ::close(fd);
        return false;
    }
    if (pictureFd >= 0) ::close(pictureFd);
    pictureFd = fd;
    return true;
}

// Qt's readers talk on stderr about every file they cannot read; the program
// learns that from the answer, so the helper keeps quiet.
void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Every image format plugin is loaded now, while files can still be opened.
void LoadQtPlugins() {
    qInstallMessageHandler(Quiet);
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        QBuffer empty;
        empty.open(QIODevice::ReadOnly);
        QImageReader reader(&empty, format);
        reader.canRead();
    }
}

// What the confinement should forbid, tried for real: 0 when it worked,
// else the errno met. `background` holds the program's pid.
int Try(const DecoderProtocol::Request& request) {
    const pid_t program = pid_t(request.background);
    int result = -1;
    switch (request.kind) {
    case DecoderProtocol::kTryOpen:
        result = ::open(request.name, O_RDONLY | O_CLOEXEC);
        if (result >= 0) ::close(result);
        break;
    case DecoderProtocol::kTryStat: {
        struct stat st {};
        result = ::stat(request.name, &st);
        break;
    }
    case DecoderProtocol::kTrySignalParent:
        result = int(::syscall(SYS_tgkill, program, program, SIGTERM));
        break;
    case DecoderProtocol::kTryLimitParent: {
        const rlimit few{kFewFiles, kFewFiles};
        result = int(::syscall(SYS_prlimit64, program, RLIMIT_NOFILE, &few, nullptr));
        break;
    }
    case DecoderProtocol::kTryNewProcess:
        result = int(::syscall(SYS_clone, SIGCHLD, nullptr, nullptr, nullptr, 0));
        if (result == 0) ::_exit(0); // a child that got through leaves at once
        break;
    default:
        errno = EINVAL;
    }
    return result >= 0 ? 0 : errno;
}

} // namespace

int main() {
    const int socket = DecoderProtocol::kHelperSocketFd;
    LoadQtPlugins();
    ModernReaders::Prepare();
    const uint32_t confinement = DecoderSandbox::Confine();
    for (;;) {
        DecoderProtocol::Request request;
        int file = -1;
        if (!ReceiveWithFd(socket, &request, sizeof request, file)) return 0; // the program left
        DecoderProtocol::Reply reply;
        reply.id = request.id;
        reply.confinement = confinement;
        std::vector<uint8_t> bytes;
        request.name[DecoderProtocol::kNameBytes - 1] = '\0';
        if (request.kind != DecoderProtocol::kDecode) {
            if (file >= 0) ::close(file);
            const int error = Try(request);
            reply.loaded = error == 0;
            reply.width = error;
            if (!SendWithFd(socket, &reply, sizeof reply, -1)) return 0;
            continue;
        }
        DecoderSandbox::AllowNextPicture();
        bool loaded = false;
        {
            PictureBox picture;
            picture.SetSurfaceMaker(MakeShared);
            picture.SetBackColor(request.background);
            if (request.magic == DecoderProtocol::kMagic && ReadFdBytes(file, bytes)) {
                const MFreeImage_2::Fitted fitted = MFreeImage_2::LoadImageFitted(
                    bytes, request.name, {request.boxWidth, request.boxHeight}, picture);
                loaded = fitted.loaded;
                reply.fullWidth = fitted.fullWidth;
                reply.fullHeight = fitted.fullHeight;
                reply.embeddedPreview = fitted.loaded && fitted.embeddedPreview;
            }
            reply.width = picture.Width();
            reply.height = picture.Height();
            reply.bytes = uint64_t(picture.Surface().size());
        } // the picture's mapping goes here: only the memory file is left
        if (file >= 0) ::close(file);
        bytes = {};
        // Out of CPU time for its life: this is the last answer.
        reply.retiring = !DecoderSandbox::TimeForAnotherPicture();
        int answer = -1;
        if (loaded && pictureFd >= 0 &&
            ::fcntl(pictureFd, F_ADD_SEALS,
                    F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) == 0) {
            reply.loaded = 1;
            answer = pictureFd;
        }
        if (!SendWithFd(socket, &reply, sizeof reply, answer)) return 0;
        if (pictureFd >= 0) ::close(pictureFd);
        pictureFd = -1;
        if (reply.retiring) return 0;
    }
}
