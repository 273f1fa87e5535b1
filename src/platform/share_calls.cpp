#include "platform/share_calls.h"

#include <cerrno>

namespace pelm {
namespace {

ShareAnswer perform(const FileRequest& request) {
    return readRegularFile(request.nativePath, request.maxBytes, request.links);
}

ShareAnswer perform(const ListRequest& request) {
    errno = 0;
    Listing listing{listFolder(request.folder, request.suffix), 0};
    if (!listing.names) listing.error = errno ? errno : EIO;
    return listing;
}

ShareAnswer perform(const LookRequest& request) {
    return lookAt(request.path);
}

ShareAnswer perform(const ProbeRequest& request) {
    return FolderProbe{mayStall(request.folder)};
}

ShareAnswer perform(const ReplaceRequest& request) {
    return replaceFile(request.nativePath, request.bytes, request.durability);
}

}  // namespace

ShareAnswer performCall(const ShareCall& call) {
    return std::visit([](const auto& request) { return perform(request); }, call);
}

}  // namespace pelm
