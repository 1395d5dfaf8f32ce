MOV A, B, C
MVI L, -1h
MVI A, 0x1Ah
ADD 10h
CMP mem
mov a, b
