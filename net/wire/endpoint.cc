#include "net/wire/endpoint.h"

namespace kestrelio {

void WriteEndpoint(ByteWriter& out, size_t offset, const Endpoint& endpoint) {
  out.Text(offset, endpoint.phone);
  out.Text(offset + 16, endpoint.local_address);
  out.U16Le(offset + 36, endpoint.local_port);
  out.Text(offset + 38, endpoint.public_address);
  out.U16Le(offset + 58, endpoint.public_port);
}

Endpoint ReadEndpoint(ByteReader& in, size_t offset) {
  Endpoint endpoint;
  endpoint.phone = in.Text<16>(offset);
  endpoint.local_address = in.Text<20>(offset + 16);
  endpoint.local_port = in.U16Le(offset + 36);
  endpoint.public_address = in.Text<20>(offset + 38);
  endpoint.public_port = in.U16Le(offset + 58);
  return endpoint;
}

}  // namespace kestrelio
