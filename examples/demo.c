/* demo.c: a small program to show how cnest draws the block
   structure of C source: functions, nested blocks, a switch
   with its labels, and preprocessor conditionals in the three
   columns at the left of the margin. */
#include <stdio.h>
#include <stdlib.h>

#ifndef LIMIT
#  ifdef SMALL
#    define LIMIT 10
#  else
#    define LIMIT 100
#  endif
#endif

static int classify(int n) {
  if (n < 0) {
    return -1;
  } else {
    while (n > LIMIT) {
      n /= 2;
    }
  }
  return n % 3;
}

int main(int argc, char **argv) {
  int total = 0;
  for (int i = 1; i < argc; ++i) {
    int n = atoi(argv[i]);
    switch (classify(n)) {
    case -1:
      fprintf(stderr, "negative: %d\n", n);
      continue;
    case 0:
      total += n;
      break;
    default:
      if (n == 42) {
        goto done;
      }
      break;
    }
  }
done:
  printf("%d\n", total);  // the sum of the multiples of 3
  return 0;
}
