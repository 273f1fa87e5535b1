#include "platform/share_calls.h"

#include <cerrno>
#include <exception>

namespace pelm {
namespace {

ShareAnswer perform(const FileRequest& request) {
    return readRegularFile(request.path, request.maxBytes, request.links);
}

ShareAnswer perform(const ListRequest& request) {
    errno = 0;
    Listing listing{listFolder(request.path, request.suffix), 0};
    if (!listing.names) listing.error = errno ? errno : EIO;
    return listing;
}

ShareAnswer perform(const LookRequest& request) {
    return lookAt(request.path);
}

ShareAnswer perform(const ReplaceRequest& request) {
    return replaceFile(request.path, request.bytes, request.durability);
}

}  // namespace

ShareAnswer performCall(const ShareCall& call) {
    try {
        return std::visit([](const auto& request) { return perform(request); }, call);
    } catch (const std::exception& error) {
        return CallFailed{error.what()};  // no memory for a file's bytes, say
    }
}

FileBytes fileBytesOf(ShareAnswer&& answer) {
    if (FileBytes* file = std::get_if<FileBytes>(&answer)) return std::move(*file);
    const bool said = std::holds_alternative<CallFailed>(answer);
    return FileBytes{said ? FileBytes::Status::Unreadable : FileBytes::Status::Stalled, {}};
}

}  // namespace pelm
