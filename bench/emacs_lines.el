;;; emacs_lines.el --- Many short lines in a relayed shell buffer and in M-x shell  -*- lexical-binding: t; -*-

;; SPDX-License-Identifier: MIT

;;; Commentary:

;; Times `seq 1 200000' in `brimel-shell' and in `M-x shell', side by side in one run, the median
;; of three each, from the command sent to the last line shown:
;;
;;   BRIMEL=build/relay/brimel emacs -Q --batch -L editors/emacs -l bench/emacs_lines.el
;;
;; Byte-compile brimel.el first (emacs --batch -f batch-byte-compile) to time it as installed.

;;; Code:

(require 'brimel)
(require 'shell)

(setq brimel-program (or (getenv "BRIMEL") brimel-program) explicit-shell-file-name "/bin/sh"
      kill-buffer-query-functions nil)

(defun brimel-bench--seconds (start)
  "Start a shell with the function START; return the seconds `seq 1 200000' takes in it."
  (with-current-buffer (funcall start (generate-new-buffer-name "*bench*"))
    (while (not (re-search-backward "[$#] \\'" nil t))
      (accept-process-output nil 0.05)
      (goto-char (point-max)))
    (goto-char (point-max))
    (insert "seq 1 200000; echo do''ne")
    (let ((begun (float-time)))
      (comint-send-input)
      (while (not (save-excursion (re-search-backward "^done$" nil t)))
        (accept-process-output nil 0.05)
        (goto-char (point-max)))
      (prog1 (- (float-time) begun)
        (kill-buffer)))))

(defun brimel-bench--median (start)
  "The median of three timings of START."
  (nth 1 (sort (list (brimel-bench--seconds start) (brimel-bench--seconds start)
                     (brimel-bench--seconds start))
               #'<)))

(message "seq 1 200000: M-x shell %.2f s, brimel-shell %.2f s"
         (brimel-bench--median #'shell) (brimel-bench--median #'brimel-shell))

;;; emacs_lines.el ends here
