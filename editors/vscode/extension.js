// Starts mirvo lsp for MirvoVM assembly files; the editor's language client
// does the rest.
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client;

exports.activate = function activate() {
  const command = vscode.workspace.getConfiguration('mirvo').get('path', 'mirvo');
  client = new LanguageClient(
    'mirvo',
    'mirvo lsp',
    { command, args: ['lsp'] },
    { documentSelector: [{ language: 'mirvo-asm' }] },
  );
  return client.start();
};

exports.deactivate = function deactivate() {
  return client ? client.stop() : undefined;
};
