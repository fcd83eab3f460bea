#include "channel/byte_buffer_streams.h"

#include <iostream>

namespace flutter {

void ByteBufferStreamReader::ReportInvalidRead() {
  std::cerr << "Invalid read in StandardCodecByteStreamReader" << std::endl;
}

}  // namespace flutter
