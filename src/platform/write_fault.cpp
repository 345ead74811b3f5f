#include <cerrno>

#include "platform/file_sink.h"

namespace ks {

WriteCause windowsWriteCause(long code) {
  switch (code) {
    case 0: return WriteCause::None;
    case 39:   // ERROR_HANDLE_DISK_FULL
    case 112:  // ERROR_DISK_FULL
      return WriteCause::DiskFull;
    case 21:    // ERROR_NOT_READY: a drive pulled out
    case 31:    // ERROR_GEN_FAILURE
    case 53:    // ERROR_BAD_NETPATH
    case 55:    // ERROR_DEV_NOT_EXIST
    case 59:    // ERROR_UNEXP_NET_ERR
    case 64:    // ERROR_NETNAME_DELETED: a share that went away
    case 67:    // ERROR_BAD_NET_NAME
    case 483:   // ERROR_DEVICE_HARDWARE_ERROR
    case 1117:  // ERROR_IO_DEVICE
    case 1167:  // ERROR_DEVICE_NOT_CONNECTED
      return WriteCause::Gone;
    case 5:   // ERROR_ACCESS_DENIED
    case 19:  // ERROR_WRITE_PROTECT
    case 32:  // ERROR_SHARING_VIOLATION
    case 33:  // ERROR_LOCK_VIOLATION
      return WriteCause::Denied;
    case 223:  // ERROR_FILE_TOO_LARGE
      return WriteCause::TooLarge;
    default: return WriteCause::Other;
  }
}

WriteCause posixWriteCause(int error) {
  switch (error) {
    case 0: return WriteCause::None;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return WriteCause::DiskFull;
    case EIO:
    case ENXIO:
    case ENODEV:
#ifdef ENOTCONN
    case ENOTCONN:
#endif
#ifdef ESTALE
    case ESTALE:
#endif
      return WriteCause::Gone;
    case EACCES:
    case EPERM:
    case EROFS:
      return WriteCause::Denied;
    case EFBIG: return WriteCause::TooLarge;
    default: return WriteCause::Other;
  }
}

}  // namespace ks
