#include "platform/share_calls.h"

#include <cerrno>
#include <exception>
#include <type_traits>

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

ShareAnswer perform(const ReplaceRequest& request) {
    return replaceFile(request.nativePath, request.bytes, request.durability);
}

}  // namespace

std::string& pathOf(ShareCall& call) {
    return std::visit(
        [](auto& request) -> std::string& {
            using Request = std::decay_t<decltype(request)>;
            if constexpr (std::is_same_v<Request, FileRequest> ||
                          std::is_same_v<Request, ReplaceRequest>)
                return request.nativePath;
            else if constexpr (std::is_same_v<Request, LookRequest>)
                return request.path;
            else
                return request.folder;
        },
        call);
}

const std::string& pathOf(const ShareCall& call) {
    return pathOf(const_cast<ShareCall&>(call));
}

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
