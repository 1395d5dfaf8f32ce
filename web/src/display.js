// The display settings: text size (for projectors) and colour scheme (as
// the system, light, dark or high contrast), kept in the browser. The
// scheme in use is the data-scheme of the page: light, dark or contrast.
import { $ } from './dom.js';

const kKey = 'mirvo.display';

export function keepDisplaySettings() {
  let settings = { size: '1', scheme: 'system' };
  try {
    settings = { ...settings, ...JSON.parse(localStorage.getItem(kKey) ?? '{}') };
  } catch {
    // Settings that cannot be read are the defaults.
  }
  const systemDark = matchMedia('(prefers-color-scheme: dark)');
  const apply = () => {
    document.documentElement.style.setProperty('--text-scale', settings.size);
    const system = systemDark.matches ? 'dark' : 'light';
    document.documentElement.dataset.scheme = settings.scheme === 'system' ? system : settings.scheme;
    $('text-size').value = settings.size;
    $('scheme').value = settings.scheme;
  };
  for (const [id, key] of [
    ['text-size', 'size'],
    ['scheme', 'scheme'],
  ]) {
    $(id).addEventListener('change', () => {
      settings[key] = $(id).value;
      apply();
      try {
        localStorage.setItem(kKey, JSON.stringify(settings));
      } catch {
        // Not kept: it still applies to this page.
      }
    });
  }
  systemDark.addEventListener('change', apply);
  apply();
}
