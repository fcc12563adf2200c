"""Pieces of the loopback HTTP servers that the harness tests start on 127.0.0.1."""


def read_head(request):
    """Reads from the socket until the end of the request's head; None when the client left first."""
    raw = b""
    while b"\r\n\r\n" not in raw:
        chunk = request.recv(65536)
        if not chunk:
            return None
        raw += chunk
    return raw
