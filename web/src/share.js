// Links: "#src=" and a source, or "#ex=" and an exercise file's text, as
// UTF-8 in base64url without padding.

export function encodeSource(text) {
  const bytes = new TextEncoder().encode(text);
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) {
    binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  }
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

// What a fragment holds: {kind: 'src' or 'ex', text}, or null when it holds
// neither (or a broken one).
export function readFragment(fragment) {
  const match = /^#(src|ex)=([A-Za-z0-9_-]*)$/.exec(fragment);
  if (!match) return null;
  const base64 = match[2].replace(/-/g, '+').replace(/_/g, '/');
  try {
    const binary = atob(base64 + '='.repeat((4 - (base64.length % 4)) % 4));
    return { kind: match[1], text: new TextDecoder().decode(Uint8Array.from(binary, (c) => c.charCodeAt(0))) };
  } catch {
    return null;
  }
}

// The source in a fragment, or null when it holds none (or a broken one).
export function decodeFragment(fragment) {
  const found = readFragment(fragment);
  return found !== null && found.kind === 'src' ? found.text : null;
}
