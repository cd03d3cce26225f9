#include "imaging/HelperLoop.h"

#include "imaging/DecoderSandbox.h"
#include "imaging/FdPassing.h"
#include "imaging/FileBytes.h"
#include "imaging/MFreeImage_2.h"
#include "imaging/ModernReaders.h"

#include <QBuffer>
#include <QImageReader>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSocket = DecoderProtocol::kHelperSocketFd;
constexpr int kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;

void Unmap(uint8_t* bits, std::size_t bytes) {
    ::munmap(bits, bytes);
}

// A new surface of the load surface in a memory file, kept in `fd` (the one
// before it closed) for the answer to hand over.
bool MakeShared(cDIB& surface, int32_t width, int32_t height, int& fd) {
    std::size_t stride = 0, bytes = 0;
    if (!SurfaceSize(width, height, 32, kMaxSurfaceBytes, stride, bytes)) return false;
    const int made = ::memfd_create("vantrel-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (made < 0) return false;
    void* map = MAP_FAILED;
    if (::ftruncate(made, off_t(bytes)) == 0)
        map = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, made, 0);
    if (map == MAP_FAILED ||
        !surface.Adopt(static_cast<uint8_t*>(map), bytes, width, height, Unmap)) {
        if (map != MAP_FAILED) ::munmap(map, bytes);
        ::close(made);
        return false;
    }
    if (fd >= 0) ::close(fd);
    fd = made;
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

bool Send(DecoderProtocol::Reply& reply, uint32_t status, int fd = -1) {
    reply.status = status;
    return SendWithFd(kSocket, &reply, sizeof reply, fd);
}

// Decodes the file open on `file` (closed here) and answers; false when the
// program is gone or the helper retires.
bool Decode(const DecoderProtocol::Request& request, int file, DecoderProtocol::Reply& reply,
            const HelperLoop::Hooks& hooks) {
    DecoderSandbox::AllowNextPicture();
    std::vector<uint8_t> bytes;
    const bool read = ReadFdBytes(file, bytes);
    ::close(file);
    if (const auto standIn = hooks.standIn ? hooks.standIn(request) : std::nullopt)
        return Send(reply, *standIn);
    if (HelperLoop::CancelAsked(request.id)) return Send(reply, DecoderProtocol::kCancelled);

    int memory = -1; // the memory file of the picture
    bool loaded = false;
    {
        PictureBox picture;
        picture.SetSurfaceMaker([&memory](cDIB& surface, int32_t width, int32_t height) {
            return MakeShared(surface, width, height, memory);
        });
        picture.SetBackColor(request.background);
        const MFreeImage_2::Fitted fitted =
            read ? MFreeImage_2::LoadImageFitted(bytes, request.name,
                                                 {request.boxWidth, request.boxHeight}, picture)
                 : MFreeImage_2::Fitted{};
        loaded = fitted.loaded;
        reply.embeddedPreview = fitted.embeddedPreview;
        reply.fullWidth = fitted.fullWidth;
        reply.fullHeight = fitted.fullHeight;
        reply.width = picture.Width();
        reply.height = picture.Height();
        reply.bytes = uint64_t(picture.Surface().size());
    } // the picture's mapping goes here: only the memory file is left
    bytes = {};
    // Out of CPU time for its life: this is the last answer.
    reply.retiring = !DecoderSandbox::TimeForAnotherPicture();
    loaded = loaded && memory >= 0 && ::fcntl(memory, F_ADD_SEALS, kSeals) == 0;
    bool sent;
    if (HelperLoop::CancelAsked(request.id)) {
        reply.width = reply.height = reply.fullWidth = reply.fullHeight = 0;
        reply.bytes = reply.embeddedPreview = 0;
        sent = Send(reply, DecoderProtocol::kCancelled);
    } else if (!loaded) {
        reply.width = reply.height = 0;
        reply.bytes = reply.embeddedPreview = 0;
        sent = Send(reply, DecoderProtocol::kNotDecoded);
    } else {
        sent = Send(reply, DecoderProtocol::kDecoded, memory);
    }
    if (memory >= 0) ::close(memory);
    return sent && !reply.retiring;
}

} // namespace

bool HelperLoop::CancelAsked(uint32_t id) {
    DecoderProtocol::Request next;
    while (PeekPacket(kSocket, &next, sizeof next) && next.kind == DecoderProtocol::kCancel) {
        int none = -1;
        if (!ReceiveWithFd(kSocket, &next, sizeof next, none)) return false;
        if (next.id == id) return true;
    }
    return false;
}

int HelperLoop::Run(const Hooks& hooks) {
    LoadQtPlugins();
    ModernReaders::Prepare();
    const uint32_t confinement = DecoderSandbox::Confine();
    for (;;) {
        DecoderProtocol::Request request;
        int file = -1;
        if (!ReceiveWithFd(kSocket, &request, sizeof request, file)) return 0; // the program left
        request.name[DecoderProtocol::kNameBytes - 1] = '\0';
        DecoderProtocol::Reply reply;
        reply.id = request.id;
        reply.confinement = confinement;
        bool goOn = true;
        if (request.magic != DecoderProtocol::kMagic) {
            if (file >= 0) ::close(file);
            goOn = Send(reply, DecoderProtocol::kNotDecoded);
        } else if (request.kind == DecoderProtocol::kCancel) {
            if (file >= 0) ::close(file); // of a request already answered: nothing to say
        } else if (request.kind == DecoderProtocol::kDecode) {
            goOn = file >= 0 ? Decode(request, file, reply, hooks)
                             : Send(reply, DecoderProtocol::kNotDecoded);
        } else {
            if (file >= 0) ::close(file);
            goOn = hooks.otherKind ? hooks.otherKind(request, kSocket)
                                   : Send(reply, DecoderProtocol::kNotDecoded);
        }
        if (!goOn) return 0;
    }
}
