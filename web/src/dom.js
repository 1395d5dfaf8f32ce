// The two things every drawing module of the page needs from the document:
// an element by id, and a file handed to the learner as a download.

export const $ = (id) => document.getElementById(id);

// Offers blob to the learner as a file called name.
export function download(blob, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}
