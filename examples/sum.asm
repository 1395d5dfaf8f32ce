; sum.asm: add two numbers, keep the sum in memory and compare it.
;
; One statement per line: a mnemonic, then up to two operands separated by
; spaces or commas. A semicolon starts a comment. Numbers are hexadecimal
; with a lower-case h; "Mem" is the byte at address H * 256 + L.

MVI A, 0F0h     ; A = F0h
MVI B, 20h      ; B = 20h
ADD B           ; A = F0h + 20h = 10h: the register form sets no flag (mirvo: allow carry-lost)
MVI H, 10h      ; HL = 1000h
MVI L, 00h
MOV Mem, A      ; memory[1000h] = 10h
ADD Mem         ; A = 10h + 10h = 20h: Z = 0, CY = 0
CMP B           ; A equals B: Z = 1, CY = 0
RET             ; the stack is empty, so the program ends here
