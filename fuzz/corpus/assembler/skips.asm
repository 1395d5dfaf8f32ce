MVI A, 5h
, ; note
	RET