MVI H, 10h
MVI L, 00h
MOV A, Mem
ADD A           ; 80h doubles to 0: mirvo: allow carry-lost
MVI L, 01h
MOV Mem, A
RET
